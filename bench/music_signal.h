// The benchmarks' music-like stereo test signal: drifting tones, noise and per-channel
// differences, made block by block so that a long file costs no memory.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace bench {

class MusicSignal {
 public:
  explicit MusicSignal(int rate) : rate_(rate) {}

  // Fills frames stereo pairs, interleaved left first, continuing where the last call ended.
  void Fill(int16_t* pairs, uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i, ++position_) {
      const double t = static_cast<double>(position_) / rate_;
      const double base = 6000 * std::sin(2 * M_PI * (220 + 30 * std::sin(0.2 * t)) * t) +
                          3000 * std::sin(2 * M_PI * 1870 * t) * std::sin(2 * M_PI * 0.5 * t);
      pairs[2 * i] = Clip(base + noise_(rng_));
      pairs[2 * i + 1] = Clip(0.7 * base + 2500 * std::sin(2 * M_PI * 3300 * t) + noise_(rng_));
    }
  }

 private:
  static int16_t Clip(double v) { return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)); }

  int rate_;
  uint64_t position_ = 0;
  std::mt19937 rng_{1};
  std::normal_distribution<double> noise_{0.0, 700.0};
};

}  // namespace bench
