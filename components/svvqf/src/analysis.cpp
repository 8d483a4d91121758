#include "analysis.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/tx.h>
}

namespace svvqf {

Mdct::Mdct(int block, int channels) : block_(block), in_(2 * block), out_(block) {
  // av_tx's forward MDCT is the plain sum; fold the format's scale into it.
  const float scale = static_cast<float>(2.0 / std::sqrt((channels == 2 ? 1.0 : 2.0) * block));
  av_tx_fn fn = nullptr;
  if (av_tx_init(&ctx_, &fn, AV_TX_FLOAT_MDCT, 0, block, &scale, AV_TX_UNALIGNED) < 0) ctx_ = nullptr;
  fn_ = fn;
}

Mdct::~Mdct() { av_tx_uninit(&ctx_); }

void Mdct::Forward(const float* in, float* out) {
  std::copy(in, in + 2 * block_, in_.begin());
  fn_(ctx_, out_.data(), in_.data(), sizeof(float));
  std::copy(out_.begin(), out_.end(), out);
}

float WindowAt(int block, int start, int end, int n) {
  const bool rising = n < block;
  const int slope = rising ? start : end;
  const int m = rising ? n - (block / 2 - slope / 2) : (2 * block - 1 - n) - (block / 2 - slope / 2);
  if (m < 0) return 0;
  if (m >= slope) return 1;
  return static_cast<float>(std::sin((m + 0.5) * M_PI / (2 * slope)));
}

int StartSlope(int wt) {
  switch (wt) {
    case 0:
    case 1:
    case 6:
      return Mode::kSlopeLong;
    case 5:
    case 7:
    case 8:
      return Mode::kSlopeMedium;
    default:
      return Mode::kSlopeShort;
  }
}

FrameType TypeOfWindow(int wt) {
  if (wt == 2) return kShort;
  if (wt == 4 || wt == 7 || wt == 8) return kMedium;
  return kLong;
}

TransientDetector::TransientDetector(int channels)
    : channels_(channels), last_(channels, 0.0f), energy_(256, 0.0) {}

void TransientDetector::Feed(const float* x, int frames) {
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < channels_; ++c) {
      // First difference: a cheap high-pass that lets attacks stand out from low tones.
      const float v = x[i * channels_ + c];
      const double d = v - last_[c];
      last_[c] = v;
      acc_ += d * d;
    }
    if (++fill_ == kSegment) {
      energy_[segments_ % energy_.size()] = acc_;
      ++segments_;
      acc_ = 0;
      fill_ = 0;
    }
  }
}

double TransientDetector::Energy(int64_t s) const {
  if (s < 0 || s >= segments_ || segments_ - s > static_cast<int64_t>(energy_.size())) return 0;
  return energy_[s % energy_.size()];
}

FrameType TransientDetector::Decide(int64_t coreStart) {
  // Segments are aligned with the short blocks of the frame: 16 of 128 samples.
  const int64_t first = coreStart >= 0 ? coreStart / kSegment : -1;
  double ratio = 0;
  for (int64_t s = first; s < first + Mode::kSize / kSegment; ++s) {
    double before = 0;
    for (int64_t b = s - 8; b < s; ++b) before = std::max(before, Energy(b));
    const double e = Energy(s);
    // An attack must stand out against what came just before and be audible at all.
    const double floor = 1e3 * kSegment * channels_;
    if (e > floor) ratio = std::max(ratio, e / (before + floor));
  }
  if (ratio > 20) return kShort;
  if (ratio > 6) return kMedium;
  return kLong;
}

}  // namespace svvqf
