// The program-wide stop flag of the conversion jobs: 0 go on, 1 stop. 16-bit because its
// address is handed to the whole-file codec libraries, which read it while they work.
#pragma once

#include <cstdint>

namespace sv {

extern std::int16_t CancelConvert;

}  // namespace sv
