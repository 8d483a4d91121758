// The command buttons of the conversion pages and windows: the program's skinned button.
#pragma once

#include "XPButton.h"

namespace sv {
using CommandButton = ::XPButton;
}
