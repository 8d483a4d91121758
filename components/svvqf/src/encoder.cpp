#include "encoder.h"

#include <algorithm>

namespace svvqf {

namespace {

int StartSlopeFor(FrameType prev, FrameType cur) {
  if (cur == kShort || prev == kShort) return Mode::kSlopeShort;
  if (cur == kMedium || prev == kMedium) return Mode::kSlopeMedium;
  return Mode::kSlopeLong;
}

// Window type of a frame: it gives the frame's start slope; among codes with the same start,
// the one that names how the frame ends.
int WindowTypeFor(FrameType prev, FrameType cur, FrameType next) {
  const int nextStart = StartSlopeFor(cur, next);
  switch (cur) {
    case kShort:
      return 2;
    case kMedium:
      if (prev == kShort) return 4;
      return nextStart == Mode::kSlopeShort ? 7 : 8;
    default:
      if (prev == kShort) return 3;
      if (prev == kMedium) return 5;
      if (nextStart == Mode::kSlopeShort) return 1;
      return nextStart == Mode::kSlopeMedium ? 6 : 0;
  }
}

}  // namespace

Encoder::Encoder(int kbps, int channels) : mode_(kbps, channels), frames_(mode_), detector_(channels) {
  for (int f = kShort; f <= kLong; ++f) mdct_[f] = std::make_unique<Mdct>(mode_.type[f].block, channels);
  for (int ch = 0; ch < channels; ++ch) pending_[ch].assign(2 * Mode::kSize, 0.0f);  // lead-in
  x_.resize(static_cast<size_t>(channels) * Mode::kSize);
  block_.resize(2 * Mode::kSize);
}

bool Encoder::Ok() const { return mdct_[0]->Ok() && mdct_[1]->Ok() && mdct_[2]->Ok(); }

bool Encoder::Push(const float* pcm, int frames, BitWriter& out) {
  const int channels = mode_.channels;
  samples_ += frames;
  // In slices of a frame, so the detector's memory always reaches back far enough.
  for (int start = 0; start < frames; start += Mode::kSize) {
    const int n = std::min(Mode::kSize, frames - start);
    const float* x = pcm + static_cast<size_t>(start) * channels;
    detector_.Feed(x, n);
    for (int i = 0; i < n; ++i) {
      if (channels == 2) {
        const float l = x[2 * i], r = x[2 * i + 1];
        pending_[0].push_back(0.5f * (l + r));
        pending_[1].push_back(0.5f * (l - r));
      } else {
        pending_[0].push_back(x[i]);
      }
      if (pending_[0].size() == 3 * Mode::kSize && !EncodeFrame(out)) return false;
    }
  }
  return true;
}

bool Encoder::Finish(BitWriter& out) {
  const int64_t total = FrameCount(samples_);
  std::vector<float> zeros(static_cast<size_t>(mode_.channels) * Mode::kSize, 0.0f);
  while (frame_ < total) {
    detector_.Feed(zeros.data(), Mode::kSize);
    for (int ch = 0; ch < mode_.channels; ++ch) pending_[ch].resize(3 * Mode::kSize, 0.0f);
    if (!EncodeFrame(out)) return false;
  }
  return true;
}

const std::vector<float>& Encoder::Window(int block, int start, int end) {
  auto& w = windows_[{block, start, end}];
  if (w.empty()) {
    w.resize(2 * block);
    for (int n = 0; n < 2 * block; ++n) w[n] = WindowAt(block, start, end, n);
  }
  return w;
}

bool Encoder::EncodeFrame(BitWriter& out) {
  // The next frame's kind decides how this one's last block ends.
  const int64_t nextCore = (frame_ - 1) * Mode::kSize + Mode::kSize / 2;
  const FrameType next = switching_ ? detector_.Decide(nextCore) : kLong;
  const int wt = WindowTypeFor(prev_, cur_, next);
  const int startSlope = StartSlopeFor(prev_, cur_);
  const int endSlope = StartSlopeFor(cur_, next);
  const TypeParams& t = mode_.type[cur_];
  const int B = t.block;
  const int inner = cur_ == kShort ? Mode::kSlopeShort : Mode::kSlopeMedium;
  for (int ch = 0; ch < mode_.channels; ++ch) {
    const float* in = pending_[ch].data();
    for (int j = 0; j < t.sub; ++j) {
      const int from = Mode::kSize / 2 - B / 2 + j * B;
      const int s0 = j == 0 ? startSlope : inner;
      const int s1 = j == t.sub - 1 ? endSlope : inner;
      const std::vector<float>& w = Window(B, s0, s1);
      for (int n = 0; n < 2 * B; ++n) block_[n] = in[from + n] * w[n];
      mdct_[cur_]->Forward(block_.data(), x_.data() + ch * Mode::kSize + j * B);
    }
  }
  const bool ok = frames_.Encode(wt, x_.data(), out);
  windowTypes_.push_back(static_cast<uint8_t>(wt));
  for (int ch = 0; ch < mode_.channels; ++ch)
    pending_[ch].erase(pending_[ch].begin(), pending_[ch].begin() + Mode::kSize);
  prev_ = cur_;
  cur_ = next;
  ++frame_;
  return ok;
}

}  // namespace svvqf
