// Gain and bark-scale envelope choice. The level of each bark band (frame or sub-block gain
// times the band's factor) sets the scale at which the codebooks code it: too small and the
// band's peaks clip, too large and the codebooks' own noise floor shows. A per-band model of
// that trade-off picks the gain codes and bark indices.
#pragma once

#include "mode.h"

namespace svvqf {

struct BandStats {
  float area = 0;   // sum of env^2 over the band's bins
  float rms = 0;    // rms of the target (spectrum / envelope) over the band
  float peak = 0;   // largest magnitude of the target in the band
  float peakW = 0;  // env^2 at that bin
};

// Statistics of every bark band of one sub-block (`r` and `env` have t.block values).
void BandStatsOf(const TypeParams& t, const float* r, const float* env, BandStats* out);

// Expected squared error of a band coded at scale s.
float BandCost(const BandStats& b, float s);

struct BarkChoice {
  int idx[4] = {};
  bool useHistory = false;
  float cost = 0;
};

// Best bark indices and history flag of one sub-block at gain g (history not changed).
BarkChoice ChooseBark(const TypeParams& t, const BandStats* bands, float g, const float* history);

// Total cost of the bands at gain g with factors st.
float CostAt(const BandStats* bands, int count, float g, const float* st);

// Best code in [lo, hi] (every `step`-th) for gain values levelValue(code) with the factors st.
template <typename F>
int BestGainCode(const BandStats* bands, int count, const float* st, int lo, int hi, F levelValue,
                 int step = 1) {
  int best = lo;
  float bestCost = 3.4e38f;
  for (int q = lo; q <= hi; q += step) {
    const float c = CostAt(bands, count, levelValue(q), st);
    if (c < bestCost) {
      bestCost = c;
      best = q;
    }
  }
  return best;
}

}  // namespace svvqf
