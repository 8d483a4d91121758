#include "gains.h"

#include <algorithm>
#include <cmath>

namespace svvqf {

namespace {
// Model of the codebooks' behaviour, in codebook units: the smallest error they reach on a
// near-zero target, their rms, their relative error on well-scaled targets, their peak.
constexpr float kFloor = 1000.0f;
constexpr float kRms = 4600.0f;
constexpr float kRelative = 0.3f;
constexpr float kPeak = 24000.0f;
}  // namespace

void BandStatsOf(const TypeParams& t, const float* r, const float* env, BandStats* out) {
  int k = 0;
  for (int e = 0; e < t.barkBands; ++e) {
    BandStats b;
    double sum = 0;
    const int width = t.barkWidth[e];
    for (int i = 0; i < width; ++i, ++k) {
      const float e2 = env[k] * env[k];
      b.area += e2;
      sum += static_cast<double>(r[k]) * r[k];
      const float m = std::fabs(r[k]);
      if (m * env[k] > b.peak * std::sqrt(b.peakW)) {
        b.peak = m;
        b.peakW = e2;
      }
    }
    b.rms = static_cast<float>(std::sqrt(sum / width));
    out[e] = b;
  }
}

float BandCost(const BandStats& b, float s) {
  s = std::fabs(s);
  const float fit = std::min(b.rms * b.rms, s * s * kRms * kRms);
  const float over = std::max(0.0f, b.rms - s * kRms);
  const float clip = std::max(0.0f, b.peak - s * kPeak);
  return b.area * (kFloor * kFloor * s * s + kRelative * fit + over * over) + b.peakW * clip * clip;
}

float CostAt(const BandStats* bands, int count, float g, const float* st) {
  float c = 0;
  for (int e = 0; e < count; ++e) c += BandCost(bands[e], g * st[e]);
  return c;
}

// Tried for every row of the bark codebook, so written to run over rows side by side.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
BarkChoice
ChooseBark(const TypeParams& t, const BandStats* bands, float g, const float* history) {
  constexpr int kRowsMax = 64;
  const int cols = t.barkBands / t.barkCoefs;
  const int rows = 1 << t.barkBits;
  BarkChoice best;
  best.cost = 3.4e38f;
  for (int flag = 0; flag < 2; ++flag) {
    BarkChoice c;
    c.useHistory = flag == 1;
    const float keep = flag ? 1 - t.historyWeight : 1.0f;
    for (int k = 0; k < t.barkCoefs; ++k) {
      float cost[kRowsMax] = {};
      for (int i = 0; i < cols; ++i) {
        const int e = i * t.barkCoefs + k;
        const BandStats& b = bands[e];
        const float base = 1 + (flag ? t.historyWeight * history[e] : 0.0f);
        const float* raw = t.fcbColumns.data() + i * rows;
        const float rms2 = b.rms * b.rms;
        for (int row = 0; row < rows; ++row) {
          float st = base + keep * raw[row];
          st = st < -1 ? 1 : st;
          const float s = std::fabs(g * st);
          const float fit = std::min(rms2, s * s * kRms * kRms);
          const float over = std::max(0.0f, b.rms - s * kRms);
          const float clip = std::max(0.0f, b.peak - s * kPeak);
          cost[row] +=
              b.area * (kFloor * kFloor * s * s + kRelative * fit + over * over) + b.peakW * clip * clip;
        }
      }
      int bestRow = 0;
      for (int row = 1; row < rows; ++row) bestRow = cost[row] < cost[bestRow] ? row : bestRow;
      c.idx[k] = bestRow;
      c.cost += cost[bestRow];
    }
    if (c.cost < best.cost) best = c;
  }
  return best;
}

}  // namespace svvqf
