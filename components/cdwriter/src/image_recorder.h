// The image writer: a CUE sheet and a BIN of raw audio in the disc folder.
#pragma once

#include "recorder.h"

#include <string>

namespace cdw {

// The CUE sheet of a plan whose audio lies in `binName`, track 1's pregap first.
std::string CueSheet(const DiscPlan& plan, const std::string& binName, bool cdText);

// A file name made of the given name's safe characters; "" when none are left.
std::string SafeImageName(const std::string& name);

}  // namespace cdw
