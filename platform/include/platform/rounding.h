#pragma once
// Rounding as the run-time does it: halves go to the even neighbour.
#include <cstdint>

namespace sv {

// Round(2.5) = 2, Round(3.5) = 4, Round(-2.5) = -2; Round(1.25, 1) = 1.2.
double Round(double value, int decimals = 0);

// Halves-to-even rounding to a whole number; throws RuntimeError 6 (Overflow) when the
// result does not fit, and for NaN.
std::int32_t rnd(double value);
std::int16_t CInt(double value);
std::int32_t CLng(double value);

}  // namespace sv
