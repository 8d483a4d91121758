// libFuzzer target: arbitrary bytes through the decoder core, in process (core_driver.h).
// Any crash, out-of-bounds access, undefined behaviour or endless loop is a finding.
#include <cstddef>
#include <cstdint>

#include "core_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  svd_fuzz::DriveCore(data, size);
  return 0;
}
