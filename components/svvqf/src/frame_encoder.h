// Codes one frame's spectrum: LSP envelope, periodic peaks (long frames), gains and bark
// envelope, main vector quantisation; then writes the fields in the stream's order. Keeps the
// decoder's inter-frame state (LSP prediction, bark histories) in step with what it writes.
#pragma once

#include "bit_writer.h"
#include "lsp.h"
#include "model.h"
#include "ppc.h"
#include "vq.h"

#include <memory>
#include <vector>

namespace svvqf {

class FrameEncoder {
 public:
  explicit FrameEncoder(const Mode& mode);
  // x: the frame's MDCT coefficients, channel-major (Mode::kSize per channel, sub-blocks in
  // order). Writes mode.frameBits bits; false if the fields came to another count (a bug).
  bool Encode(int windowType, const float* x, BitWriter& out);
  // The spectrum the decoder will reconstruct for the last frame (same layout as x).
  const std::vector<float>& Reconstructed() const { return recon_; }

 private:
  // Sub-block levels tried when a short or medium frame's gain is chosen: 1 dB steps over
  // the whole range of gains.
  static constexpr int kLevels = 151;
  float levels_[kLevels];
  const Mode& mode_;
  std::unique_ptr<ConjugateCodebook> main_[3];
  std::unique_ptr<LsfAnalyser> lsf_[3];
  PpcSearch ppc_;
  Lsf lspHistory_[2];
  float barkHistory_[3][2][40];
  std::vector<float> env_, r_, target_, weight_, decoded_, scale_, recon_;
};

}  // namespace svvqf
