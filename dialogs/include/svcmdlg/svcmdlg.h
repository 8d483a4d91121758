#pragma once

// The common-dialog library: cCommonDialog with its events, GCommonDialog, cMemory.
#include "svcmdlg/CommonDialog.h"
#include "svcmdlg/ComponentError.h"
#include "svcmdlg/Enums.h"
#include "svcmdlg/GCommonDialog.h"
#include "svcmdlg/Memory.h"
