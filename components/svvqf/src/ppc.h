// Periodic-peak search for tonal long frames: finds the peak spacing that gathers the most
// of the spectrum's energy, codes the peaks' shape with the shape codebooks and picks the
// gain. What it codes is taken off the spectrum before the main quantisation.
#pragma once

#include "mode.h"
#include "vq.h"

#include <vector>

namespace svvqf {

struct PpcChoice {
  int period[2] = {};
  int gain[2] = {};
  VqFields fields;
  // The decoded peak component, channel-major, Mode::kSize values per channel, in the
  // spectrum-over-envelope domain (it is added before the envelope is applied).
  std::vector<float> contribution;
};

// r: spectrum over envelope, env: envelope, both channel-major with Mode::kSize per channel.
PpcChoice SearchPpc(const Mode& mode, const ConjugateCodebook& shapes, const float* r, const float* env);

}  // namespace svvqf
