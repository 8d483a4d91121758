#include "lsp.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace svvqf {

namespace {

constexpr int kOrder = Mode::kLsp;
constexpr int kGrid = 512;
constexpr int kCompare = 128;  // points at which candidate envelopes are compared

// B(w) = A(e^jw) e^(j w (n+1)/2): its real part vanishes at the symmetric polynomial's roots,
// its imaginary part at the antisymmetric one's.
std::complex<double> Rotated(const double* a, double w) {
  std::complex<double> sum = 0;
  for (int m = 0; m <= kOrder; ++m) sum += a[m] * std::polar(1.0, -w * m);
  return sum * std::polar(1.0, w * (kOrder + 1) / 2.0);
}

double Part(const double* a, double w, bool imag) {
  const auto b = Rotated(a, w);
  return imag ? b.imag() : b.real();
}

}  // namespace

Lsf FlatLsf() {
  Lsf l;
  for (int j = 0; j < kOrder; ++j) l[j] = static_cast<float>((j + 1) * M_PI / (kOrder + 1));
  return l;
}

bool AnalyseLsf(const float* amp, int block, Lsf& out) {
  out = FlatLsf();
  double r[kOrder + 1] = {};
  // r_m = sum_k amp_k cos(w_k m), with the cosines by recurrence per bin.
  for (int k = 0; k < block; ++k) {
    if (amp[k] == 0) continue;
    const double w = (k + 0.5) * M_PI / block;
    const double c1 = std::cos(w);
    double cPrev = 1, c = c1;
    r[0] += amp[k];
    for (int m = 1; m <= kOrder; ++m) {
      r[m] += amp[k] * c;
      const double next = 2 * c1 * c - cPrev;
      cPrev = c;
      c = next;
    }
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
  // Roots of both parts by a sign-change scan and bisection.
  float roots[2 * kOrder];
  int found = 0;
  for (int part = 0; part < 2; ++part) {
    const bool imag = part == 1;
    double prevW = 1e-6, prevV = Part(poly, prevW, imag);
    for (int g = 1; g <= kGrid && found < 2 * kOrder; ++g) {
      const double w = g == kGrid ? M_PI - 1e-6 : g * M_PI / kGrid;
      const double v = Part(poly, w, imag);
      if ((prevV < 0) != (v < 0)) {
        double lo = prevW, hi = w, vlo = prevV;
        for (int it = 0; it < 24; ++it) {
          const double mid = 0.5 * (lo + hi);
          const double vm = Part(poly, mid, imag);
          if ((vm < 0) == (vlo < 0)) {
            lo = mid;
            vlo = vm;
          } else {
            hi = mid;
          }
        }
        roots[found++] = static_cast<float>(0.5 * (lo + hi));
      }
      prevW = w;
      prevV = v;
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
  float logAmp[kCompare], weight[kCompare], angle[kCompare];
  double wsum = 0;
  for (int i = 0; i < points; ++i) {
    double s = 0;
    for (int k = i * per; k < (i + 1) * per; ++k) s += amp[k];
    s /= per;
    logAmp[i] = static_cast<float>(std::log(s + 1e-3));
    weight[i] = static_cast<float>(std::sqrt(s + 1e-3));
    wsum += weight[i];
    angle[i] = static_cast<float>((i * per + 0.5 * per) * M_PI / block);
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
      float logF[kCompare];
      double mean = 0;
      for (int i = 0; i < points; ++i) {
        logF[i] = std::log(LpcResponse(lsf, angle[i]));
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
