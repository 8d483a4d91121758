// The benchmarks' music-like stereo test signal: drifting tones, noise and per-channel
// differences, made block by block so that a long file costs no memory.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

// Writes `seconds` of the signal as a 16-bit stereo WAV, block by block.
inline void WriteMusicWav(const std::string& path, int seconds, int rate = 44100) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const uint32_t frames = static_cast<uint32_t>(seconds) * static_cast<uint32_t>(rate);
  auto put32 = [&](uint32_t v) {
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    out.write(b, 4);
  };
  out.write("RIFF", 4);
  put32(36 + frames * 4);
  out.write("WAVEfmt ", 8);
  put32(16);
  const char fmt[] = {1, 0, 2, 0};
  out.write(fmt, 4);
  put32(static_cast<uint32_t>(rate));
  put32(static_cast<uint32_t>(rate) * 4);
  const char align[] = {4, 0, 16, 0};
  out.write(align, 4);
  out.write("data", 4);
  put32(frames * 4);
  MusicSignal signal(rate);
  std::vector<int16_t> block(2 * 4410);
  for (uint32_t done = 0; done < frames;) {
    const uint32_t n = std::min<uint32_t>(4410, frames - done);
    signal.Fill(block.data(), n);
    out.write(reinterpret_cast<const char*>(block.data()), n * 4);
    done += n;
  }
}

}  // namespace bench
