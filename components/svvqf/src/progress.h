// Progress and cancel as the codec calls promise them: the callback at most once per change
// of the whole percentage, the caller's flag read at every step.
#pragma once

#include <sys/stat.h>
#include <cstdint>

#include "svcodec.h"

namespace svvqf {

inline bool Cancelled(const int16_t* cancel) { return cancel && *cancel != 0; }

// Whole percentage for a fraction, clamped to 0..100.
inline int WholePercent(double fraction) {
  const double p = fraction * 100.0 + 0.5;
  return p < 0 ? 0 : p > 100 ? 100 : static_cast<int>(p);
}

class PercentProgress {
 public:
  explicit PercentProgress(const CodecProgressProc* cell) : proc_(cell ? *cell : nullptr) {}
  void Report(double fraction) {
    const int p = WholePercent(fraction);
    if (proc_ && p != last_) {
      last_ = p;
      proc_(static_cast<int16_t>(p));
    }
  }

 private:
  CodecProgressProc proc_;
  int last_ = -1;
};

// The decoder's (position, rate) pairs; see svvqf.h.
class VqfDecodeProgress {
 public:
  VqfDecodeProgress(const VqfDecodeProgressProc* cell, int64_t fileSize);
  void Report(double fraction);
  int16_t Rate() const { return rate_; }
  // Position for a fraction, and the percentage the caller will show for it.
  int16_t PositionFor(double fraction) const;
  int PercentShown(int16_t position) const;

 private:
  VqfDecodeProgressProc proc_;
  int64_t size_;
  int16_t rate_;
  int32_t estimate_;
  int last_ = -1;
};

}  // namespace svvqf
