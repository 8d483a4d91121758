#pragma once

// Only the public classes leave the library; everything else is built hidden.
#if defined(SVCMDLG_BUILDING)
#define SVCMDLG_EXPORT __attribute__((visibility("default")))
#else
#define SVCMDLG_EXPORT
#endif
