// Time-to-frequency analysis: the MDCT with the format's scale, its windows, and the
// transient detector that chooses long, medium or short blocks.
#pragma once

#include "mode.h"

#include <memory>
#include <vector>

struct AVTXContext;

namespace svvqf {

// Forward MDCT of 2B windowed samples to B coefficients, scaled so that the decoder's inverse
// transform gives the samples back: X_k = 2/sqrt(norm B) sum x_n cos(pi/B (n + 1/2 + B/2)(k + 1/2)),
// norm = 1 for stereo, 2 for mono.
class Mdct {
 public:
  Mdct(int block, int channels);
  ~Mdct();
  Mdct(const Mdct&) = delete;
  Mdct& operator=(const Mdct&) = delete;
  bool Ok() const { return ctx_ != nullptr; }
  void Forward(const float* in, float* out);

 private:
  AVTXContext* ctx_ = nullptr;
  void (*fn_)(AVTXContext*, void*, void*, ptrdiff_t) = nullptr;
  int block_;
  std::vector<float> in_, out_;
};

// Window value of a 2B block whose first half rises with slope `start` and whose second half
// falls with slope `end` (both centred on the half's middle), at sample n.
float WindowAt(int block, int start, int end, int n);

// Start slope a window type gives its frame, and its frame type.
int StartSlope(int windowType);
FrameType TypeOfWindow(int windowType);

// Picks the frame type of each frame from the attacks in the input. Fed with the input in
// pieces; asked about frame t once the input up to frame t's core (plus a look-ahead) is in.
class TransientDetector {
 public:
  explicit TransientDetector(int channels);
  // Feeds interleaved 16-bit-range samples.
  void Feed(const float* interleaved, int frames);
  // Frame type wanted for the frame whose short blocks start at input sample `coreStart`
  // (2048 samples from there); needs the input up to coreStart + 2048 fed.
  FrameType Decide(int64_t coreStart);

 private:
  static constexpr int kSegment = 128;
  int channels_;
  std::vector<float> last_;
  double acc_ = 0;
  int fill_ = 0;
  int64_t segments_ = 0;        // complete segments so far
  std::vector<double> energy_;  // ring of recent segment energies
  double Energy(int64_t segment) const;
};

}  // namespace svvqf
