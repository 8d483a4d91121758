#include "lsp.h"

#include <algorithm>
#include <cmath>

namespace svvqf {

namespace {

constexpr int kOrder = Mode::kLsp;
constexpr int kGrid = 1024;
constexpr int kCompare = 128;  // points at which candidate envelopes are compared

// With B(w) = A(e^jw) e^(j w (n+1)/2), the symmetric polynomial's roots are the zeros of
// Re B(w) = sum_{m<=n/2} (a_m + a_{n+1-m}) cos((n+1)/2 - m) w and the antisymmetric one's those
// of Im B(w) = sum (a_m - a_{n+1-m}) sin(...). Both are tabulated on a fixed grid once, so a
// frame's roots cost a few multiply-adds per grid point; roots between grid points are placed
// by linear interpolation, far finer than the codebooks' steps.
constexpr int kHalf = kOrder / 2 + 1;
struct RootGrid {
  float cosT[kGrid + 1][kHalf], sinT[kGrid + 1][kHalf], w[kGrid + 1];
  RootGrid() {
    for (int g = 0; g <= kGrid; ++g) {
      w[g] = static_cast<float>(g * M_PI / kGrid);
      for (int m = 0; m < kHalf; ++m) {
        const double arg = ((kOrder + 1) / 2.0 - m) * g * M_PI / kGrid;
        cosT[g][m] = static_cast<float>(std::cos(arg));
        sinT[g][m] = static_cast<float>(std::sin(arg));
      }
    }
  }
};
const RootGrid& Grid() {
  static const RootGrid grid;
  return grid;
}

}  // namespace

Lsf FlatLsf() {
  Lsf l;
  for (int j = 0; j < kOrder; ++j) l[j] = static_cast<float>((j + 1) * M_PI / (kOrder + 1));
  return l;
}

// Long blocks are fitted on bins pooled by four: the fit of order 20 cannot tell the
// difference, and it costs a quarter.
LsfAnalyser::LsfAnalyser(int block)
    : block_(block), pool_(block > 512 ? 4 : 1), cos_(static_cast<size_t>(kOrder + 1) * (block / pool_)) {
  const int points = block / pool_;
  for (int m = 0; m <= kOrder; ++m)
    for (int k = 0; k < points; ++k)
      cos_[m * points + k] = static_cast<float>(std::cos((k + 0.5) * M_PI / points * m));
}

bool LsfAnalyser::Analyse(const float* amp, Lsf& out) const {
  out = FlatLsf();
  const int points = block_ / pool_;
  float pooled[2048];
  for (int k = 0; k < points; ++k) {
    float s = 0;
    for (int i = 0; i < pool_; ++i) s += amp[k * pool_ + i];
    pooled[k] = s;
  }
  double r[kOrder + 1] = {};
  // r_m = sum_k amp_k cos(w_k m)
  for (int m = 0; m <= kOrder; ++m) {
    const float* c = cos_.data() + m * points;
    float acc = 0;
    for (int k = 0; k < points; ++k) acc += pooled[k] * c[k];
    r[m] = acc;
  }
  if (!(r[0] > 1e-9)) return false;
  // A mild lag window and a touch of white noise keep the fit stable.
  for (int m = 1; m <= kOrder; ++m) r[m] *= std::exp(-0.5 * std::pow(2 * M_PI * 0.002 * m, 2));
  r[0] *= 1.0001;
  double a[kOrder + 1] = {1};
  double err = r[0];
  for (int i = 1; i <= kOrder; ++i) {
    double acc = r[i];
    for (int j = 1; j < i; ++j) acc -= a[j] * r[i - j];
    const double k = acc / err;
    double tmp[kOrder + 1];
    std::copy(a, a + kOrder + 1, tmp);
    for (int j = 1; j < i; ++j) a[j] = tmp[j] - k * tmp[i - j];
    a[i] = k;
    err *= 1 - k * k;
    if (!(err > 0)) return false;
  }
  // Prediction filter 1 - sum a_j z^-j as the polynomial A.
  double poly[kOrder + 1];
  poly[0] = 1;
  for (int j = 1; j <= kOrder; ++j) poly[j] = -a[j];
  float sym[kHalf], anti[kHalf];
  for (int m = 0; m < kHalf; ++m) {
    const double hi = kOrder + 1 - m <= kOrder ? poly[kOrder + 1 - m] : 0.0;
    sym[m] = static_cast<float>(poly[m] + hi);
    anti[m] = static_cast<float>(poly[m] - hi);
  }
  const RootGrid& grid = Grid();
  float re[kGrid + 1], im[kGrid + 1];
  for (int g = 0; g <= kGrid; ++g) {
    float a = 0, b = 0;
    for (int m = 0; m < kHalf; ++m) {
      a += sym[m] * grid.cosT[g][m];
      b += anti[m] * grid.sinT[g][m];
    }
    re[g] = a;
    im[g] = b;
  }
  // The antisymmetric part vanishes at 0 and the symmetric one at pi: those are no LSFs.
  float roots[2 * kOrder];
  int found = 0;
  for (const float* v : {re, im})
    for (int g = 1; g < kGrid && found < 2 * kOrder; ++g) {
      if ((v[g] < 0) != (v[g + 1] < 0) && !(v == re && g + 1 == kGrid) && v[g] != 0) {
        const float t = v[g] / (v[g] - v[g + 1]);
        roots[found++] = grid.w[g] + t * (grid.w[g + 1] - grid.w[g]);
      }
    }
  if (found != kOrder) return false;
  std::sort(roots, roots + found);
  std::copy(roots, roots + kOrder, out.begin());
  return true;
}

LspCode QuantiseLsf(const Lsf& target, const float* amp, int block, const Lsf& history) {
  // Inverse-spacing weights: closely spaced pairs make the peaks and matter most.
  float w[kOrder];
  for (int j = 0; j < kOrder; ++j) {
    const float lo = j == 0 ? target[0] : target[j] - target[j - 1];
    const float hi = j == kOrder - 1 ? static_cast<float>(M_PI) - target[j] : target[j + 1] - target[j];
    w[j] = 1.0f / std::max(lo, 1e-3f) + 1.0f / std::max(hi, 1e-3f);
  }
  // The spectrum to match, in log, at kCompare points; weighted towards the loud parts.
  const int per = std::max(1, block / kCompare);
  const int points = block / per;
  float logAmp[kCompare], weight[kCompare], twoCos[kCompare];
  double wsum = 0;
  for (int i = 0; i < points; ++i) {
    double s = 0;
    for (int k = i * per; k < (i + 1) * per; ++k) s += amp[k];
    s /= per;
    logAmp[i] = static_cast<float>(std::log(s + 1e-3));
    weight[i] = static_cast<float>(std::sqrt(s + 1e-3));
    wsum += weight[i];
    twoCos[i] = static_cast<float>(2 * std::cos((i * per + 0.5 * per) * M_PI / block));
  }
  for (int i = 0; i < points; ++i) weight[i] = static_cast<float>(weight[i] / wsum);

  constexpr int kKeep = 4;
  LspCode best;
  double bestErr = 1e300;
  for (int h = 0; h < 2; ++h) {
    const float* wp = LspPredict(h);
    float tau[kOrder];
    for (int j = 0; j < kOrder; ++j) tau[j] = (target[j] - history[j] * wp[j]) / (1 - wp[j]);
    // Stage 1: a few nearest rows.
    std::pair<double, int> near[64];
    for (int i = 0; i < 64; ++i) {
      const float* s1 = LspStage1(i);
      double d = 0;
      for (int j = 0; j < kOrder; ++j) d += w[j] * (tau[j] - s1[j]) * (tau[j] - s1[j]);
      near[i] = {d, i};
    }
    std::partial_sort(near, near + kKeep, near + 64);
    for (int c1 = 0; c1 < kKeep; ++c1) {
      LspCode code;
      code.h = h;
      code.i1 = near[c1].second;
      const float* s1 = LspStage1(code.i1);
      // Stage 2: each split chunk on its own.
      for (int c = 0; c < Mode::kLspSplit; ++c) {
        double bestD = 1e300;
        for (int i = 0; i < 16; ++i) {
          const float* s2 = LspStage2(i);
          double d = 0;
          for (int j = LspChunkStart(c); j < LspChunkStart(c + 1); ++j) {
            const float e = tau[j] - s1[j] - s2[j];
            d += w[j] * e * e;
          }
          if (d < bestD) {
            bestD = d;
            code.i2[c] = i;
          }
        }
      }
      // Judge by the envelope the decoder will really form.
      Lsf hist = history;
      const Lsf lsf = DecodeLsp(code.h, code.i1, code.i2, hist);
      float logF[kCompare], c[kOrder];
      for (int j = 0; j < kOrder; ++j) c[j] = 2 * std::cos(lsf[j]);
      double mean = 0;
      for (int i = 0; i < points; ++i) {
        float odd = 1, even = 1;
        for (int j = 0; j < kOrder; j += 2) {
          even *= c[j] - twoCos[i];
          odd *= c[j + 1] - twoCos[i];
        }
        logF[i] =
            std::log(0.5f / (0.25f * (2 - twoCos[i]) * odd * odd + 0.25f * (2 + twoCos[i]) * even * even));
        mean += weight[i] * (logAmp[i] - logF[i]);
      }
      double err = 0;
      for (int i = 0; i < points; ++i) {
        const double e = logAmp[i] - logF[i] - mean;
        err += weight[i] * e * e;
      }
      if (err < bestErr) {
        bestErr = err;
        best = code;
      }
    }
  }
  return best;
}

}  // namespace svvqf
