// Helpers of the Layer III and codec tests: test signals, MP3 streams made with LAME, decoding
// a file end to end through the exported calls, and signal comparison.
#pragma once

#include <gtest/gtest.h>
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "svdecode.h"

namespace l3_test {

namespace fs = std::filesystem;

inline fs::path Scratch(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir = fs::path(SVD_SCRATCH_DIR) / (std::string(info->test_suite_name()) + "." + info->name());
  fs::create_directories(dir);
  return dir / name;
}

inline void Save(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> Load(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Interleaved 16-bit PCM.
struct Signal {
  int rate = 44100;
  int channels = 2;
  std::vector<int16_t> pcm;
  size_t frames() const { return pcm.size() / static_cast<size_t>(channels); }
  int16_t at(size_t i, int ch) const { return pcm[i * static_cast<size_t>(channels) + ch]; }
};

inline int16_t Clip(double v) { return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0))); }

// Per channel: a tone of the given frequency (0: silence), amplitude 0..1.
inline Signal Tones(int rate, double seconds, std::vector<double> freqs, double amplitude = 0.5) {
  Signal s;
  s.rate = rate;
  s.channels = static_cast<int>(freqs.size());
  const size_t n = static_cast<size_t>(seconds * rate);
  s.pcm.resize(n * freqs.size());
  for (size_t i = 0; i < n; ++i)
    for (size_t ch = 0; ch < freqs.size(); ++ch)
      s.pcm[i * freqs.size() + ch] =
          Clip(32767.0 * amplitude * std::sin(2 * M_PI * freqs[ch] * double(i) / rate));
  return s;
}

// A logarithmic sweep from f0 to f1 Hz on every channel (the right one phase-shifted).
inline Signal Sweep(int rate, double seconds, int channels, double f0, double f1) {
  Signal s;
  s.rate = rate;
  s.channels = channels;
  const size_t n = static_cast<size_t>(seconds * rate);
  s.pcm.resize(n * static_cast<size_t>(channels));
  const double k = std::log(f1 / f0) / seconds;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / rate;
    const double phase = 2 * M_PI * f0 * (std::exp(k * t) - 1) / k;
    for (int ch = 0; ch < channels; ++ch)
      s.pcm[i * channels + ch] = Clip(16000.0 * std::sin(phase + ch * 1.0));
  }
  return s;
}

inline Signal Noise(int rate, double seconds, int channels, double amplitude, unsigned seed) {
  Signal s;
  s.rate = rate;
  s.channels = channels;
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-amplitude, amplitude);
  s.pcm.resize(static_cast<size_t>(seconds * rate) * static_cast<size_t>(channels));
  for (int16_t& v : s.pcm) v = Clip(32767.0 * u(gen));
  return s;
}

// Full-scale square wave.
inline Signal Square(int rate, double seconds, int channels, double freq) {
  Signal s;
  s.rate = rate;
  s.channels = channels;
  const size_t n = static_cast<size_t>(seconds * rate);
  s.pcm.resize(n * static_cast<size_t>(channels));
  for (size_t i = 0; i < n; ++i) {
    const bool high = std::fmod(double(i) * freq / rate, 1.0) < 0.5;
    for (int ch = 0; ch < channels; ++ch) s.pcm[i * channels + ch] = high ? 32767 : -32768;
  }
  return s;
}

struct EncodeOptions {
  int kbps = 128;
  MPEG_mode mode = JOINT_STEREO;
  bool xing = false;  // write the "Xing"/"Lame" frame first
  bool force_ms = false;
  bool no_short = false;
  bool force_short = false;
  int out_rate = 0;        // 0: as the input
  vbr_mode vbr = vbr_off;  // vbr_off (CBR), vbr_default (VBR) or vbr_abr (ABR at kbps)
  int vbr_quality = 4;
};

struct Encoded {
  std::vector<uint8_t> bytes;
  int encoder_delay = 0;
  int encoder_padding = 0;  // known once encoding is done
};

inline Encoded EncodeMp3(const Signal& s, const EncodeOptions& o) {
  lame_global_flags* gf = lame_init();
  lame_set_num_channels(gf, s.channels);
  lame_set_in_samplerate(gf, s.rate);
  lame_set_out_samplerate(gf, o.out_rate ? o.out_rate : s.rate);
  lame_set_brate(gf, o.kbps);
  lame_set_mode(gf, s.channels == 1 ? MONO : o.mode);
  lame_set_VBR(gf, o.vbr);
  if (o.vbr == vbr_abr) lame_set_VBR_mean_bitrate_kbps(gf, o.kbps);
  if (o.vbr == vbr_default) lame_set_VBR_quality(gf, static_cast<float>(o.vbr_quality));
  lame_set_bWriteVbrTag(gf, o.xing ? 1 : 0);
  lame_set_quality(gf, 5);
  if (o.force_ms) lame_set_force_ms(gf, 1);
  if (o.no_short) lame_set_no_short_blocks(gf, 1);
  if (o.force_short) lame_set_force_short_blocks(gf, 1);
  EXPECT_EQ(lame_init_params(gf), 0);
  Encoded e;
  e.encoder_delay = lame_get_encoder_delay(gf);
  std::vector<uint8_t> buffer(s.pcm.size() * 2 + 7200 + 16384);
  const int frames = static_cast<int>(s.frames());
  int n;
  if (s.channels == 2) {
    n = lame_encode_buffer_interleaved(gf, const_cast<short*>(s.pcm.data()), frames, buffer.data(),
                                       static_cast<int>(buffer.size()));
  } else {
    n = lame_encode_buffer(gf, s.pcm.data(), s.pcm.data(), frames, buffer.data(),
                           static_cast<int>(buffer.size()));
  }
  EXPECT_GE(n, 0);
  int m = lame_encode_flush(gf, buffer.data() + n, static_cast<int>(buffer.size()) - n);
  EXPECT_GE(m, 0);
  buffer.resize(static_cast<size_t>(n + m));
  e.encoder_padding = lame_get_encoder_padding(gf);
  if (o.xing) {
    std::vector<uint8_t> tag(4096);
    const size_t t = lame_get_lametag_frame(gf, tag.data(), tag.size());
    EXPECT_GT(t, 0u);
    std::copy(tag.begin(), tag.begin() + static_cast<long>(t), buffer.begin());
  }
  lame_close(gf);
  e.bytes = std::move(buffer);
  return e;
}

// A leading ID3 version 2 tag of `size` bytes (header included).
inline std::vector<uint8_t> Id3v2Tag(uint32_t size) {
  std::vector<uint8_t> tag(size, 0);
  const uint32_t body = size - 10;
  const uint8_t head[10] = {'I',
                            'D',
                            '3',
                            3,
                            0,
                            0,
                            static_cast<uint8_t>((body >> 21) & 0x7F),
                            static_cast<uint8_t>((body >> 14) & 0x7F),
                            static_cast<uint8_t>((body >> 7) & 0x7F),
                            static_cast<uint8_t>(body & 0x7F)};
  std::copy(head, head + 10, tag.begin());
  const char frame[] = "TIT2\0\0\0\x06\0\0\0Tone";
  std::copy(frame, frame + sizeof frame - 1, tag.begin() + 10);
  return tag;
}

// An ID3v2 tag of `version` (3 or 4) whose body holds two silent MPEG-1 Layer III frames in a
// row, as picture data may: a reader that takes the tag for audio finds frames in it. With
// `footer` (version 4) the flags say so and the 10-byte footer ends the tag.
inline std::vector<uint8_t> Id3v2TagHoldingFrames(int version, bool footer) {
  constexpr uint32_t kBody = 200 + 2 * 417;
  std::vector<uint8_t> tag(10 + kBody + (footer ? 10 : 0), 0);
  auto head = [&](size_t at, const char* id) {
    std::copy(id, id + 3, tag.begin() + static_cast<long>(at));
    tag[at + 3] = static_cast<uint8_t>(version);
    tag[at + 5] = footer ? 0x10 : 0;
    for (int i = 0; i < 4; ++i) tag[at + 6 + static_cast<size_t>(i)] = (kBody >> (21 - 7 * i)) & 0x7F;
  };
  head(0, "ID3");
  for (size_t frame = 10 + 100; frame < 10 + 100 + 2 * 417; frame += 417) {
    tag[frame] = 0xFF;
    tag[frame + 1] = 0xFB;
    tag[frame + 2] = 0x90;
  }
  if (footer) head(10 + kBody, "3DI");
  return tag;
}

struct Decoded {
  Signal out;
  int frames = 0;                 // steps that gave 0
  int errors = 0;                 // steps that gave -700
  int last = 0;                   // the result that ended decoding
  std::vector<int> step_samples;  // per-channel samples of every successful step
};

// Reads the canonical 44-byte WAV the file output module writes.
inline Signal ReadWav(const fs::path& path) {
  const std::vector<uint8_t> b = Load(path);
  Signal s;
  if (b.size() < 44) return s;
  s.channels = b[22] | b[23] << 8;
  s.rate = static_cast<int>(b[24] | b[25] << 8 | b[26] << 16 | uint32_t(b[27]) << 24);
  s.pcm.resize((b.size() - 44) / 2);
  for (size_t i = 0; i < s.pcm.size(); ++i)
    s.pcm[i] = static_cast<int16_t>(b[44 + 2 * i] | b[45 + 2 * i] << 8);
  return s;
}

// Decodes a file end to end: open, decode until a result other than 0 or -700, close.
inline Decoded DecodeThroughExports(const fs::path& input, int max_steps = 1 << 20) {
  Decoded d;
  const fs::path wav = input.string() + ".wav";
  EXPECT_EQ(CreateDecoder(), 0);
  EXPECT_GE(RegisterInputModule(), 0);
  EXPECT_GE(RegisterOutputModule(), 0);
  EXPECT_EQ(Mp3InputOpen(input.c_str()), 0);
  EXPECT_EQ(WaveOutputOpen(("wav:" + wav.string()).c_str()), 0);
  for (int i = 0; i < max_steps; ++i) {
    const int32_t r = Mp3DecodePlay();
    if (r == 0) {
      ++d.frames;
    } else if (r == SVD_E_STREAM) {
      ++d.errors;
    } else {
      d.last = r;
      break;
    }
  }
  Mp3InputClose();
  WaveOutputClose();
  DeleteDecoder();
  d.out = ReadWav(wav);
  return d;
}

// Signal-to-noise ratio in dB of `got` channel ch against `ref` channel ch, `got` lagging by
// `lag` samples, over `count` samples starting at ref sample `from`.
inline double Snr(const Signal& ref, const Signal& got, int ch, long lag, size_t from, size_t count) {
  double signal = 0, noise = 0;
  for (size_t i = from; i < from + count; ++i) {
    const size_t j = i + static_cast<size_t>(lag);
    if (i >= ref.frames() || j >= got.frames()) break;
    const double r = ref.at(i, ch), g = got.at(j, ch);
    signal += r * r;
    noise += (r - g) * (r - g);
  }
  if (noise == 0) return 200.0;
  return 10 * std::log10(signal / noise);
}

// The lag (0..max_lag) at which `got` matches `ref` best, judged on channel 0.
inline long BestLag(const Signal& ref, const Signal& got, long max_lag, size_t from, size_t count) {
  long best = 0;
  double best_snr = -1e9;
  for (long lag = 0; lag <= max_lag; ++lag) {
    const double v = Snr(ref, got, 0, lag, from, count);
    if (v > best_snr) {
      best_snr = v;
      best = lag;
    }
  }
  return best;
}

// Most-significant-bit-first packing of hand-made side information and main data.
class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (pos_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (pos_ % 8));
      ++pos_;
    }
  }
  size_t bits() const { return pos_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
};

// The decoder's delay: the analysis/synthesis filterbanks and the hybrid overlap.
inline constexpr long kDecoderDelay = 529;

}  // namespace l3_test
