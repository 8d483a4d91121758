// The VQF decoder's progress, reported as (position, rate) pairs the caller turns into a
// percentage with its fixed estimate; at most once per change of that percentage.
#pragma once

#include <sys/stat.h>
#include <cstdint>

#include "svcodec.h"

namespace svvqf {

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
