// Polyphase synthesis filterbank: time slots of 32 subband samples of one channel become
// 16-bit PCM at full, half or quarter rate.
#pragma once

#include <cstdint>

namespace svd {

// The 512 coefficients of the standard's synthesis window, D[i] in units of 2^-16.
const int32_t* SynthesisWindow();

class Synthesis {
 public:
  // Code path of the filter: plain C++ (every processor), SSE2 or AVX2 with fused
  // multiply-add (x86 only).
  enum class Path { kScalar, kSse2, kAvx2 };

  Synthesis();

  // The fastest path this processor runs (chosen for every new instance).
  static Path BestPath();
  // Selects a path; one the processor cannot run falls back to the best it can.
  void SetPath(Path path);
  Path path() const { return path_; }

  // Clears the filter memory (ring and both transform buffers); keeps shift and equaliser.
  void Reset();

  // 0 full rate (32 samples a slot), 1 half (16), 2 quarter (8). A different shift
  // changes the layout of the filter memory, which is then cleared.
  void SetReductionShift(int shift);
  int reduction_shift() const { return shift_; }

  // 32 per-subband gains, or null for none. The gains are copied.
  void SetEqualiser(const float* gains);

  // Filters `count` consecutive time slots (each 32 subband samples) and stores
  // count * (32 >> shift) samples at out, out + stride, ...; returns the next position.
  // Samples are rounded halves to even and clipped to the 16-bit range.
  int16_t* Run(const float (*slots)[32], int count, int16_t* out, int stride);

  // Writes count silent slots (zeros at the stride) without touching the filter state.
  int16_t* Silence(int count, int16_t* out, int stride) const;

 private:
  friend struct SynthesisKernels;

  // Two transform buffers of 16 slots. Each slot stores one half of the transform output
  // in the current buffer and the other half in its partner, so that the windowing reads
  // one buffer only; with a reduction shift only the kept outputs are stored.
  alignas(64) float v_[2][16][32];
  alignas(64) float gains_[32];
  bool equalise_ = false;
  int ring_ = 0;
  int current_ = 0;
  int shift_ = 0;
  Path path_ = Path::kScalar;
};

}  // namespace svd
