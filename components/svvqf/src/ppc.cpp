#include "ppc.h"

#include "model.h"
#include "tables/twinvq_tables.h"

#include <algorithm>
#include <cmath>

namespace svvqf {

namespace {
constexpr int kLen = Mode::kPpcShapeLen;
constexpr int kPeriods = 1 << Mode::kPpcPeriodBits;
constexpr int kGains = 1 << Mode::kPpcGainBits;
constexpr float kShapeRms = 4100.0f, kShapePeak = 24000.0f;

int NearestGain(float g) {
  int best = 0;
  float bestD = 3.4e38f;
  for (int q = 0; q < kGains; ++q) {
    const float d = std::fabs(std::log(PpcGain(q)) - std::log(std::max(g, 1e-12f)));
    if (d < bestD) {
      bestD = d;
      best = q;
    }
  }
  return best;
}
}  // namespace

PpcSearch::PpcSearch(const Mode& mode)
    : mode_(mode), shapes_(tables::kShape44, tables::kShape44 + 64 * 9, 9), bins_(kPeriods * kLen, 0) {
  int placed[kLen];
  for (int p = 0; p < kPeriods; ++p) {
    const int n = PpcBins(mode.kbpsPerChannel, p, placed);
    for (int i = 0; i < n; ++i) bins_[p * kLen + i] = static_cast<int16_t>(placed[i]);
  }
}

PpcChoice PpcSearch::Search(const float* r, const float* env) const {
  const Mode& mode = mode_;
  const int channels = mode.channels;
  PpcChoice choice;
  choice.contribution.assign(static_cast<size_t>(channels) * Mode::kSize, 0.0f);
  std::vector<float> target(channels * kLen, 0.0f), weight(channels * kLen, 0.0f),
      decoded(channels * kLen, 0.0f);
  int bins[2][kLen];
  float gain[2] = {};
  for (int ch = 0; ch < channels; ++ch) {
    const float* rc = r + ch * Mode::kSize;
    const float* ec = env + ch * Mode::kSize;
    // Energy in the coded domain of every bin the peaks can reach.
    float energy[1024];
    for (int k = 0; k < 1024; ++k) energy[k] = rc[k] * rc[k] * ec[k] * ec[k];
    float bestE = -1;
    for (int p = 0; p < kPeriods; ++p) {
      const int16_t* placed = bins_.data() + p * kLen;
      float e = 0;
      for (int i = 0; i < kLen; ++i) e += energy[placed[i] & 1023];
      if (e > bestE) {
        bestE = e;
        choice.period[ch] = p;
      }
    }
    for (int i = 0; i < kLen; ++i) bins[ch][i] = bins_[choice.period[ch] * kLen + i];
    double sum = 0;
    float peak = 0;
    for (int i = 0; i < kLen; ++i) {
      const float v = rc[bins[ch][i]];
      sum += v * v;
      peak = std::max(peak, std::fabs(v));
    }
    const float rms = static_cast<float>(std::sqrt(sum / kLen));
    gain[ch] = PpcGain(NearestGain(std::max(rms / kShapeRms, peak / kShapePeak)));
    for (int i = 0; i < kLen; ++i) {
      const int k = bins[ch][i];
      target[ch * kLen + i] = rc[k] / gain[ch];
      weight[ch * kLen + i] = ec[k] * ec[k] * gain[ch] * gain[ch];
    }
  }
  SearchVq(mode.alloc[kPpc], shapes_, target.data(), weight.data(), choice.fields, decoded.data());
  for (int ch = 0; ch < channels; ++ch) {
    const float* rc = r + ch * Mode::kSize;
    const float* ec = env + ch * Mode::kSize;
    // Best gain for the coded shape, then keep the peaks only when they help.
    double num = 0, den = 0;
    for (int i = 0; i < kLen; ++i) {
      const float w = ec[bins[ch][i]] * ec[bins[ch][i]];
      num += w * rc[bins[ch][i]] * decoded[ch * kLen + i];
      den += w * decoded[ch * kLen + i] * decoded[ch * kLen + i];
    }
    auto errorAt = [&](int q) {
      const float g = PpcGain(q);
      double e = 0;
      for (int i = 0; i < kLen; ++i) {
        const int k = bins[ch][i];
        const float d = (rc[k] - g * decoded[ch * kLen + i]) * ec[k];
        e += d * d;
      }
      return e;
    };
    int q = den > 0 && num > 0 ? NearestGain(static_cast<float>(num / den)) : 0;
    for (int step = -1; step <= 1; step += 2)  // rounding in the log domain may miss by one
      if (q + step >= 0 && q + step < kGains && errorAt(q + step) < errorAt(q)) q += step;
    if (errorAt(0) <= errorAt(q)) q = 0;
    choice.gain[ch] = q;
    const float g = PpcGain(q);
    for (int i = 0; i < kLen; ++i)
      choice.contribution[ch * Mode::kSize + bins[ch][i]] += g * decoded[ch * kLen + i];
  }
  return choice;
}

}  // namespace svvqf
