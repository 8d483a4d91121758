// Time and bytes of a stream: the 100-entry seek table of a "Xing"/"Info" header, and the
// share of the frames' time that the gapless output covers.
#pragma once

#include <algorithm>
#include <cstdint>

#include "svdecode_core.h"

namespace svd {

// Fraction of the bytes at which a fraction of the time lies: toc[i] / 256 is where i % of
// the time is, linear in between, 256 at the end.
inline double TimeToBytes(const uint8_t (&toc)[100], double time) {
  const double q = std::clamp(time, 0.0, 1.0) * 100.0;
  const int i = std::min(static_cast<int>(q), 99);
  const double lower = toc[i], upper = i < 99 ? toc[i + 1] : 256.0;
  return (lower + (q - i) * (upper - lower)) / 256.0;
}

// The inverse: the earliest fraction of the time whose bytes reach `bytes`.
inline double BytesToTime(const uint8_t (&toc)[100], double bytes) {
  const double y = std::clamp(bytes, 0.0, 1.0) * 256.0;
  for (int i = 0; i < 100; ++i) {
    const double lower = toc[i], upper = i < 99 ? toc[i + 1] : 256.0;
    if (y <= upper && upper > lower) return (i + std::clamp((y - lower) / (upper - lower), 0.0, 1.0)) / 100.0;
  }
  return 1.0;
}

// Share of the frames' time from their start to the end of the output: the output's time
// t stands at t × share of the frames' time (1 without gapless trimming). Starting the scale
// at the first frame keeps time 0 at the stream's first byte.
inline double OutputShare(const svdecode::StreamInfo& s) {
  if (!s.encoder_tag || s.frames <= 0 || s.samples_per_frame <= 0 || s.total_samples < 0) return 1.0;
  const double frames_time = static_cast<double>(s.frames) * s.samples_per_frame;
  const double end = static_cast<double>(s.total_samples) + s.encoder_delay + svdecode::kDecoderDelay;
  return std::clamp(end / frames_time, 0.0, 1.0);
}

}  // namespace svd
