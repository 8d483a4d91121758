#include "jobs/core/shares.h"

#include "platform/rounding.h"
#include "platform/runtime_error.h"

#include <limits>

namespace sv::jobs {

std::int16_t FileShare(int rows) { return CInt(1.0 / rows * 100.0); }

std::int16_t FileBase(int rows, int current) { return CInt(static_cast<double>(current - 1) / rows * 100.0); }

std::int16_t TotalPercent(int percent, int share, int base) {
  const int product = percent * share;
  if (product > std::numeric_limits<std::int16_t>::max() ||
      product < std::numeric_limits<std::int16_t>::min())
    Raise(errOverflow);
  return CInt(product / 100.0 + base);
}

std::int16_t TotalPercentOfRows(int percent, int rows, int current) {
  return TotalPercent(percent, FileShare(rows), FileBase(rows, current));
}

std::int16_t RowsDonePercent(int done, int rows) { return CInt(static_cast<double>(done) / rows * 100.0); }

}  // namespace sv::jobs
