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

class PpcSearch {
 public:
  explicit PpcSearch(const Mode& mode);
  // r: spectrum over envelope, env: envelope, both channel-major with Mode::kSize per channel.
  PpcChoice Search(const float* r, const float* env) const;

 private:
  const Mode& mode_;
  ConjugateCodebook shapes_;
  std::vector<int16_t> bins_;  // where each period code puts the shape values
};

}  // namespace svvqf
