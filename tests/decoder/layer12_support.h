// Helpers of the Layer I and II tests: a frame loop over a whole stream feeding the layer
// decoders and the synthesis, a bit writer, a small Layer I encoder, signal measures.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bitreader.h"
#include "frame.h"
#include "layers.h"
#include "synth.h"

namespace l12test {

struct Decoded {
  std::vector<int16_t> pcm;  // interleaved
  int channels = 0;
  int sample_rate = 0;
  int frames = 0;
  int layer = 0;
  int samples_per_frame = 0;
};

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Decodes every complete frame of a clean stream (no junk handling beyond a byte search).
inline Decoded DecodeStream(const std::vector<uint8_t>& data, int shift = 0) {
  Decoded d;
  svd::Synthesis synth[2];
  for (auto& s : synth) s.SetReductionShift(shift);
  static svd::SubbandSlots slots[2];
  size_t pos = 0;
  while (pos + 4 <= data.size()) {
    const uint32_t word = svd::ReadBigEndian32(&data[pos]);
    const svd::FrameHeader h = svd::FrameHeader::Unpack(word);
    if (!svd::FrameHeader::HasSync(word) || !h.Check() || h.layer() == 3) {
      ++pos;
      continue;
    }
    const size_t length = static_cast<size_t>(h.frame_length());
    if (pos + length > data.size()) break;
    const size_t body = pos + 4 + (h.protection ? 0 : 2);
    svd::BitReader reader(&data[body], pos + length - body);
    const int count =
        h.layer() == 1 ? svd::DecodeLayer1(h, reader, slots) : svd::DecodeLayer2(h, reader, slots);
    const int channels = h.channels();
    d.channels = channels;
    d.sample_rate = h.sample_rate() >> shift;
    d.layer = h.layer();
    d.samples_per_frame = count * (32 >> shift);
    const size_t at = d.pcm.size();
    d.pcm.resize(at + static_cast<size_t>(count * (32 >> shift) * channels));
    for (int ch = 0; ch < channels; ++ch) synth[ch].Run(slots[ch], count, d.pcm.data() + at + ch, channels);
    ++d.frames;
    pos += length;
  }
  return d;
}

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
      ++used_;
    }
  }
  size_t bits() const { return used_; }
  // Pads with zero bytes to `size` bytes.
  std::vector<uint8_t> Take(size_t size) {
    bytes_.resize(std::max(size, bytes_.size()), 0);
    used_ = 0;
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
};

// Polyphase analysis filterbank of the standard (window C = D / 32).
class Analysis {
 public:
  Analysis() : x_(512, 0.0) {
    const double pi = std::acos(-1.0);
    for (int k = 0; k < 32; ++k)
      for (int i = 0; i < 64; ++i) m_[k][i] = std::cos((2 * k + 1) * (i - 16) * pi / 64.0);
  }
  // 32 new samples (oldest first) in, 32 subband samples out.
  void Run(const double* in, double* out) {
    for (int i = 511; i >= 32; --i) x_[i] = x_[i - 32];
    for (int i = 0; i < 32; ++i) x_[i] = in[31 - i];
    const int32_t* d = svd::SynthesisWindow();
    double y[64];
    for (int i = 0; i < 64; ++i) {
      y[i] = 0.0;
      for (int j = 0; j < 8; ++j) y[i] += x_[i + 64 * j] * d[i + 64 * j] / 65536.0 / 32.0;
    }
    for (int k = 0; k < 32; ++k) {
      out[k] = 0.0;
      for (int i = 0; i < 64; ++i) out[k] += m_[k][i] * y[i];
    }
  }

 private:
  std::vector<double> x_;
  double m_[32][64];
};

inline double ScaleFactor(int index) { return std::exp2(1.0 - index / 3.0); }

// Smallest scale factor (largest index) that still covers the peak.
inline int ScaleIndexFor(double peak) {
  int index = 0;
  while (index < 62 && ScaleFactor(index + 1) >= peak) ++index;
  return index;
}

// Layer I encoder with a fixed allocation per subband (0 none, 1..14 gives n + 1 bits).
// Input is interleaved in -1..1. Joint stereo codes the subbands from the bound once, with
// the left channel's normalised samples and each channel's own scale factor.
struct Layer1Options {
  int sampling_index = 0;  // MPEG-1: 44100, 48000, 32000
  int bitrate_index = 14;  // 448 kbit/s
  int mode = svd::kStereo;
  int mode_extension = 0;
  int allocation[32] = {};
};

inline std::vector<uint8_t> EncodeLayer1(const std::vector<double>& pcm, int channels,
                                         const Layer1Options& o) {
  const uint32_t header = 0xFFE00000u | (1u << 20) | (1u << 19) | (3u << 17) | (1u << 16) |
                          (uint32_t(o.bitrate_index) << 12) | (uint32_t(o.sampling_index) << 10) |
                          (uint32_t(o.mode) << 6) | (uint32_t(o.mode_extension) << 4);
  const svd::FrameHeader h = svd::FrameHeader::Unpack(header);
  const int length = h.frame_length();
  const int bound = o.mode == svd::kJointStereo ? 4 * (o.mode_extension + 1) : 32;
  const size_t frames = pcm.size() / channels / 384;
  Analysis analysis[2];
  std::vector<uint8_t> stream;
  for (size_t f = 0; f < frames; ++f) {
    double sub[2][12][32];
    for (int ch = 0; ch < channels; ++ch)
      for (int s = 0; s < 12; ++s) {
        double in[32];
        for (int i = 0; i < 32; ++i) in[i] = pcm[((f * 12 + s) * 32 + i) * channels + ch];
        analysis[ch].Run(in, sub[ch][s]);
      }
    int scale[2][32] = {};
    for (int ch = 0; ch < channels; ++ch)
      for (int sb = 0; sb < 32; ++sb) {
        double peak = 0.0;
        for (int s = 0; s < 12; ++s) peak = std::max(peak, std::fabs(sub[ch][s][sb]));
        scale[ch][sb] = ScaleIndexFor(peak);
      }
    BitWriter w;
    w.Put(header, 32);
    for (int sb = 0; sb < 32; ++sb)
      for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch) w.Put(o.allocation[sb], 4);
    for (int sb = 0; sb < 32; ++sb)
      for (int ch = 0; ch < channels; ++ch)
        if (o.allocation[sb]) w.Put(scale[ch][sb], 6);
    auto quantise = [](double x, int n) {
      const int levels = (1 << (n + 1)) - 1;
      const int v = static_cast<int>(std::lround((x * levels + levels - 1) / 2.0));
      return static_cast<uint32_t>(std::clamp(v, 0, levels - 1));
    };
    for (int s = 0; s < 12; ++s)
      for (int sb = 0; sb < 32; ++sb) {
        const int n = o.allocation[sb];
        if (!n) continue;
        for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch)
          w.Put(quantise(sub[ch][s][sb] / ScaleFactor(scale[ch][sb]), n), n + 1);
      }
    if (w.bits() > static_cast<size_t>(length) * 8) return {};  // allocation too large
    const std::vector<uint8_t> frame = w.Take(length);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  return stream;
}

// Signal-to-noise ratio of `got` (one channel of interleaved PCM) against `want` (-1..1),
// at the delay that fits best within max_delay samples.
inline double BestSnr(const std::vector<int16_t>& got, int channels, int ch, const std::vector<double>& want,
                      int want_channels, int max_delay, int* delay_out = nullptr) {
  const size_t n_got = got.size() / channels;
  const size_t n_want = want.size() / want_channels;
  double best = -1e9;
  for (int delay = 0; delay <= max_delay; ++delay) {
    double signal = 0.0, noise = 0.0;
    const size_t start = 2000;
    for (size_t i = start; i + delay < n_got && i < n_want && i < start + 20000; ++i) {
      const double w = want[i * want_channels + ch] * 32768.0;
      const double e = got[(i + delay) * channels + ch] - w;
      signal += w * w;
      noise += e * e;
    }
    const double snr = 10.0 * std::log10(signal / std::max(noise, 1e-9));
    if (snr > best) {
      best = snr;
      if (delay_out) *delay_out = delay;
    }
  }
  return best;
}

}  // namespace l12test
