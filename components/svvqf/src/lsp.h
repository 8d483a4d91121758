// LPC envelope estimation and LSP quantisation: an order-20 LPC fit to the amplitude
// spectrum, its line spectral frequencies, and the two-stage split codebook search with
// inter-frame prediction.
#pragma once

#include "model.h"

namespace svvqf {

// Line spectral frequencies (radians, ascending) of the LPC fit to `amp`, the amplitude
// spectrum of a `block`-bin sub-block (bin k at angle (k + 1/2) pi / block). False when the
// fit fails (silence); `out` is then a flat envelope's set.
bool AnalyseLsf(const float* amp, int block, Lsf& out);

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
