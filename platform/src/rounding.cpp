#include "platform/rounding.h"

#include "platform/runtime_error.h"

#include <cmath>
#include <limits>

namespace sv {

namespace {
// Halves to even regardless of the current floating-point rounding mode.
double roundHalfEven(double x) {
  const double floorX = std::floor(x);
  const double diff = x - floorX;
  if (diff > 0.5) return floorX + 1.0;
  if (diff < 0.5) return floorX;
  return std::fmod(floorX, 2.0) == 0.0 ? floorX : floorX + 1.0;
}

template <typename Int>
Int toInteger(double value) {
  if (std::isnan(value)) Raise(errOverflow);
  const double r = roundHalfEven(value);
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
      r > static_cast<double>(std::numeric_limits<Int>::max()))
    Raise(errOverflow);
  return static_cast<Int>(r);
}
}  // namespace

double Round(double value, int decimals) {
  if (!std::isfinite(value)) return value;
  if (decimals < 0) Raise(errInvalidProcedureCall);
  if (decimals == 0) return roundHalfEven(value);
  const double scale = std::pow(10.0, decimals);
  const double scaled = value * scale;
  if (!std::isfinite(scaled)) return value;
  return roundHalfEven(scaled) / scale;
}

std::int32_t rnd(double value) { return toInteger<std::int32_t>(value); }
std::int16_t CInt(double value) { return toInteger<std::int16_t>(value); }
std::int32_t CLng(double value) { return toInteger<std::int32_t>(value); }

}  // namespace sv
