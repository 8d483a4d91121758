#include "model.h"

#include "tables/twinvq_tables.h"

#include <algorithm>
#include <cmath>

namespace svvqf {

namespace {

// Inverse mu-law of y with clipping level cl.
double Expand(double y, double cl, double mu) {
  const double x = std::clamp(y / cl, -1.0, 1.0);
  const double v = cl * (std::pow(1.0 + mu, std::fabs(x)) - 1.0) / mu;
  return x < 0 ? -v : v;
}

int RoundDiv(int a, int b) { return (a + b / 2) / b; }

// Moves neighbours closer than d apart to d apart around their mean, in order.
void Spread(float* q, int n, float d) {
  for (int j = 1; j < n; ++j) {
    if (q[j] - q[j - 1] < d) {
      const float mid = 0.5f * (q[j] + q[j - 1]);
      q[j - 1] = mid - 0.5f * d;
      q[j] = mid + 0.5f * d;
    }
  }
}

// Linear fill strictly between positions p and p + len.
void Fill(float* v, int p, int len) {
  const float a = v[p], b = v[p + len];
  for (int r = 1; r < len; ++r) v[p + r] = a + r * (b - a) / len;
}

}  // namespace

namespace {
// The gain steps, worked out once: the searches try every code many times per frame.
struct GainSteps {
  float frame[256], sub[32], ppc[128];
  GainSteps() {
    for (int q = 0; q < 256; ++q)
      frame[q] = static_cast<float>(Expand(13000.0 / 255 * (q + 0.5), 13000, 100));
    for (int s = 0; s < 32; ++s) sub[s] = static_cast<float>(Expand(4500.0 / 31 * (s + 0.5), 4500, 100));
    const double step = 25000.0 / ((1 << Mode::kPpcGainBits) - 1);
    for (int q = 0; q < 128; ++q) ppc[q] = static_cast<float>(Expand(step * q + step / 2, 25000, 200) / 8192);
  }
};
const GainSteps& Steps() {
  static const GainSteps steps;
  return steps;
}
}  // namespace

float LongGain(int q) { return Steps().frame[q] / 8192; }
float FrameGain(int q) { return Steps().frame[q] / (1 << 23); }
float SubGain(int s) { return Steps().sub[s]; }
float PpcGain(int q) { return Steps().ppc[q]; }

const float* LspStage1(int i) { return tables::kLsp44 + i * Mode::kLsp; }
const float* LspStage2(int i) { return tables::kLsp44 + (64 + i) * Mode::kLsp; }
const float* LspPredict(int h) { return tables::kLsp44 + (80 + h) * Mode::kLsp; }

int LspChunkStart(int c) {
  static constexpr int kDelta[4] = {-2, -2, -2, 0};
  if (c == 0) return 0;
  return (c * Mode::kLsp + kDelta[c - 1]) / Mode::kLspSplit;
}

Lsf DecodeLsp(int h, int i1, const int* i2, Lsf& history) {
  Lsf q;
  for (int c = 0; c < Mode::kLspSplit; ++c)
    for (int j = LspChunkStart(c); j < LspChunkStart(c + 1); ++j)
      q[j] = LspStage1(i1)[j] + LspStage2(i2[c])[j];
  Spread(q.data(), Mode::kLsp, 0.0001f);
  const float* wp = LspPredict(h);
  Lsf out;
  for (int j = 0; j < Mode::kLsp; ++j) out[j] = q[j] * (1 - wp[j]) + history[j] * wp[j];
  history = q;
  Spread(out.data(), Mode::kLsp, 0.0001f);
  Spread(out.data(), Mode::kLsp, 0.000095f);
  std::sort(out.begin(), out.end());
  return out;
}

float LpcResponse(const Lsf& lsf, float w) {
  const float t = 2 * std::cos(w);
  float odd = 1, even = 1;
  for (int j = 0; j < Mode::kLsp; j += 2) {
    even *= 2 * std::cos(lsf[j]) - t;
    odd *= 2 * std::cos(lsf[j + 1]) - t;
  }
  return 0.5f / (0.25f * (2 - t) * odd * odd + 0.25f * (2 + t) * even * even);
}

void LpcEnvelope(const Lsf& lsf, FrameType type, int block, float* env) {
  // Cosines of the line frequencies once, then each point costs kLsp products.
  float c[Mode::kLsp];
  for (int j = 0; j < Mode::kLsp; ++j) c[j] = 2 * std::cos(lsf[j]);
  const float step = static_cast<float>(M_PI) / block;
  auto at = [&](int k) {
    const float t = 2 * std::cos((k + 0.5f) * step);
    float odd = 1, even = 1;
    for (int j = 0; j < Mode::kLsp; j += 2) {
      even *= c[j] - t;
      odd *= c[j + 1] - t;
    }
    return 0.5f / (0.25f * (2 - t) * odd * odd + 0.25f * (2 + t) * even * even);
  };
  if (type == kShort) {
    for (int k = 0; k < block; ++k) env[k] = at(k);
    return;
  }
  const int s = type == kLong ? 8 : 2;
  const int half = block / 2;
  for (int part = 0; part < 2; ++part) {
    const int t = part == 0 ? s : 2 * s;
    float* v = env + part * half;
    const int offset = part * half;
    for (int i = 0; i <= half - t; i += t) v[i] = at(offset + i);
    for (int i = t; i <= half - 2 * t; i += t) {
      const float a = v[i - t], b = v[i], cc = v[i + t];
      if (cc + a > 1.95f * b || cc >= a) {
        Fill(v, i - t, t);
      } else {
        const int m = i - t / 2;
        v[m] = at(offset + m);
        Fill(v, i - t, t / 2);
        Fill(v, m, t - t / 2);
      }
    }
    Fill(v, half - 2 * t, t);
  }
  const float lo = env[half - s], hi = env[half];
  for (int r = 1; r <= s; ++r) env[half - s + r] = lo + r * (hi - lo) / (s + 1);
  for (int k = block - 2 * s + 1; k < block; ++k) env[k] = env[block - 2 * s];
}

void DecodeBark(const TypeParams& t, const int* idx, bool useHistory, float* history, float* st) {
  const int cols = t.barkBands / t.barkCoefs;
  for (int e = 0; e < t.barkBands; ++e) {
    const float raw = t.fcb[idx[e % t.barkCoefs] * cols + e / t.barkCoefs] / 4096.0f;
    float v = useHistory ? 1 + (1 - t.historyWeight) * raw + t.historyWeight * history[e] : 1 + raw;
    history[e] = raw;
    if (v < -1) v = 1;
    st[e] = v;
  }
}

void InitBarkHistory(FrameType type, int channel, float* history, int bands) {
  std::fill(history, history + bands, 0.0f);
  if (type == kShort && channel == 0)
    for (int e = 0; e < 3 && e < bands; ++e) history[e] = 0.1f;
}

int PpcBins(int kbpsPerChannel, int p, int* bins) {
  (void)kbpsPerChannel;  // both 44.1 kHz modes place peaks alike
  constexpr int kIsf = 44, kSize = Mode::kSize, kLen = Mode::kPpcShapeLen;
  const int pMin = RoundDiv(80 * kSize, kIsf), pMax = RoundDiv(480 * kSize, kIsf);
  const int period = pMin + RoundDiv(p * (pMax - pMin), (1 << Mode::kPpcPeriodBits) - 1);
  const int width = period * Mode::kPeakPer2Wid / (400 * kSize);
  auto centre = [&](int m) {
    const int x = period * m + 200;
    if (x % 400 != 0 || m % 5 != 0) return x / 400;
    const int xs = x / 400;
    const tables::BrokenOpRow& row = tables::kBrokenOpIndex[m / 5];
    const int q = 2 * (xs - 1) / row.length;
    const int lg = q > 0 ? static_cast<int>(std::floor(std::log2(q))) : 0;
    return xs - row.table[row.length * lg + (xs - 1) % row.length];
  };
  int n = 0;
  for (int i = 0; i < width / 2 && n < kLen; ++i) bins[n++] = i;
  const int peaks = RoundDiv(kLen, width);
  for (int m = 1; m <= peaks && n < kLen; ++m) {
    const int c = centre(m);
    for (int i = c - width / 2; i < c + (width + 1) / 2 && n < kLen; ++i) bins[n++] = i;
  }
  return n;
}

}  // namespace svvqf
