// LPC envelope estimation and LSP quantisation: an order-20 LPC fit to the amplitude
// spectrum, its line spectral frequencies, and the two-stage split codebook search with
// inter-frame prediction.
#pragma once

#include "model.h"

#include <vector>

namespace svvqf {

// Line spectral frequencies (radians, ascending) of the LPC fit to the amplitude spectrum of
// a sub-block (bin k at angle (k + 1/2) pi / block).
class LsfAnalyser {
 public:
  explicit LsfAnalyser(int block);
  // False when the fit fails (silence); `out` is then a flat envelope's set.
  bool Analyse(const float* amp, Lsf& out) const;

 private:
  int block_, pool_;
  std::vector<float> cos_;  // cos(w_k m), m = 0..order, per bin
};

// A flat envelope's line frequencies.
Lsf FlatLsf();

struct LspCode {
  int h = 0, i1 = 0;
  int i2[Mode::kLspSplit] = {};
};

// Chooses the codes for `target` whose decoded envelope best matches `amp` (same layout as
// for AnalyseLsf), given the channel's predictor history (not changed here).
LspCode QuantiseLsf(const Lsf& target, const float* amp, int block, const Lsf& history);

}  // namespace svvqf
