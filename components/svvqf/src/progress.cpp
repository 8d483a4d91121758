#include "progress.h"

#include <algorithm>
#include <cmath>

namespace svvqf {

namespace {
constexpr int kMaxPosition = 32757;  // the caller adds 10 to a position in 16 bits
}

VqfDecodeProgress::VqfDecodeProgress(const VqfDecodeProgressProc* cell, int64_t fileSize)
    : proc_(cell ? *cell : nullptr), size_(std::max<int64_t>(fileSize, 0)) {
  const double scaled = static_cast<double>(size_) * 14.69;
  rate_ = static_cast<int16_t>(std::clamp<double>(std::ceil(scaled / 32000.0), 1.0, 32767.0));
  // The caller rounds halves to even.
  estimate_ = static_cast<int32_t>(std::nearbyint(scaled / rate_));
}

int16_t VqfDecodeProgress::PositionFor(double fraction) const {
  const double f = std::clamp(fraction, 0.0, 1.0);
  return static_cast<int16_t>(std::clamp<double>(std::floor(f * estimate_ + 0.5), 0.0, kMaxPosition));
}

int VqfDecodeProgress::PercentShown(int16_t position) const {
  int32_t estimate = estimate_;
  if (estimate < position) estimate = position + 10;
  return static_cast<int>(std::nearbyint(static_cast<double>(position) / estimate * 100.0));
}

void VqfDecodeProgress::Report(double fraction) {
  if (!proc_) return;
  const int16_t position = PositionFor(fraction);
  const int shown = PercentShown(position);
  if (shown != last_) {
    last_ = shown;
    proc_(position, rate_);
  }
}

}  // namespace svvqf
