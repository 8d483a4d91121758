// Layer III streams made with LAME from synthetic signals, decoded end to end through the
// exported calls and compared with their source.
#include <gtest/gtest.h>

#include "layer3_support.h"

namespace {

using namespace l3_test;

enum class Kind { kTones, kSweep, kNoise, kSilence };

struct Case {
  const char* name;
  Kind kind;
  int rate;
  int channels;
  EncodeOptions options;
  double min_snr;  // dB, every channel
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

Signal Make(const Case& c) {
  switch (c.kind) {
    case Kind::kTones:
      return Tones(c.rate, 3.0,
                   c.channels == 2 ? std::vector<double>{440.0, 1250.0} : std::vector<double>{660.0});
    case Kind::kSweep:
      return Sweep(c.rate, 3.0, c.channels, 50.0, c.rate * 0.4);
    case Kind::kNoise:
      return Noise(c.rate, 2.0, c.channels, 0.3, 7);
    case Kind::kSilence:
      return Tones(c.rate, 2.0, std::vector<double>(static_cast<size_t>(c.channels), 0.0));
  }
  return {};
}

class LameStreams : public testing::TestWithParam<Case> {};

TEST_P(LameStreams, DecodeCloseToTheSource) {
  const Case& c = GetParam();
  const Signal source = Make(c);
  const Encoded mp3 = EncodeMp3(source, c.options);
  const fs::path file = Scratch("in.mp3");
  Save(file, mp3.bytes);
  const Decoded d = DecodeThroughExports(file);

  EXPECT_EQ(d.last, SVD_E_END_OF_INPUT);
  EXPECT_EQ(d.errors, 0);
  ASSERT_GT(d.frames, 0);
  EXPECT_EQ(d.out.channels, c.channels);
  EXPECT_EQ(d.out.rate, c.rate);
  const int per_frame = c.rate >= 32000 ? 1152 : 576;
  long expected_lag = 0;
  if (c.options.xing) {
    // The encoder's tag says its delay and padding: exactly the source's samples come out.
    EXPECT_EQ(d.out.frames(), source.frames());
  } else {
    EXPECT_EQ(d.out.frames(), static_cast<size_t>(d.frames) * per_frame);
    // Every source sample comes out (the stream is padded to whole frames).
    expected_lag = mp3.encoder_delay + kDecoderDelay;
    EXPECT_GE(static_cast<long>(d.out.frames()), static_cast<long>(source.frames()) + expected_lag);
  }

  if (c.kind == Kind::kSilence) {
    for (int16_t v : d.out.pcm) ASSERT_LE(std::abs(v), 1);
    return;
  }
  const size_t from = source.frames() / 4, count = source.frames() / 2;
  // Periodic tones repeat too soon to tell their alignment; the other signals do not.
  if (c.kind != Kind::kTones) {
    EXPECT_EQ(BestLag(source, d.out, expected_lag + 700, from, 1500), expected_lag);
  }
  for (int ch = 0; ch < c.channels; ++ch)
    EXPECT_GT(Snr(source, d.out, ch, expected_lag, from, count), c.min_snr) << "channel " << ch;
}

EncodeOptions Opt(int kbps, MPEG_mode mode = JOINT_STEREO) {
  EncodeOptions o;
  o.kbps = kbps;
  o.mode = mode;
  return o;
}
EncodeOptions Xing(EncodeOptions o) {
  o.xing = true;
  return o;
}
EncodeOptions NoShort(EncodeOptions o) {
  o.no_short = true;
  return o;
}
EncodeOptions ForceShort(EncodeOptions o) {
  o.force_short = true;
  return o;
}
EncodeOptions ForceMs(EncodeOptions o) {
  o.force_ms = true;
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Layer3, LameStreams,
    testing::Values(Case{"tones_44k_joint_128", Kind::kTones, 44100, 2, Opt(128), 20},
                    Case{"tones_44k_stereo_320", Kind::kTones, 44100, 2, Opt(320, STEREO), 35},
                    Case{"tones_48k_ms_192", Kind::kTones, 48000, 2, ForceMs(Opt(192)), 30},
                    Case{"tones_32k_mono_64_xing", Kind::kTones, 32000, 1, Xing(Opt(64)), 20},
                    Case{"sweep_44k_joint_128", Kind::kSweep, 44100, 2, Opt(128), 15},
                    Case{"sweep_44k_long_only", Kind::kSweep, 44100, 2, NoShort(Opt(160)), 15},
                    Case{"sweep_48k_short_only", Kind::kSweep, 48000, 2, ForceShort(Opt(256, STEREO)), 12},
                    Case{"sweep_22k_mono_64", Kind::kSweep, 22050, 1, Opt(64), 12},
                    Case{"tones_24k_joint_96", Kind::kTones, 24000, 2, Opt(96), 25},
                    Case{"tones_16k_stereo_64_xing", Kind::kTones, 16000, 2, Xing(Opt(64, STEREO)), 25},
                    Case{"tones_12k_mono_32", Kind::kTones, 12000, 1, Opt(32), 20},
                    Case{"tones_11k_joint_32", Kind::kTones, 11025, 2, Opt(32), 15},
                    Case{"tones_8k_mono_16", Kind::kTones, 8000, 1, Opt(16), 15},
                    Case{"noise_44k_stereo_192", Kind::kNoise, 44100, 2, Opt(192, STEREO), 4},
                    Case{"noise_22k_joint_short", Kind::kNoise, 22050, 2, ForceShort(Opt(96)), 4},
                    Case{"silence_44k_joint", Kind::kSilence, 44100, 2, Opt(128), 0},
                    Case{"silence_8k_mono", Kind::kSilence, 8000, 1, Opt(8), 0}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The same content coded as middle/side and as separate left/right channels decodes to the
// same signals.
TEST(Layer3Stereo, MiddleSideMatchesSeparateChannels) {
  const Signal source = Tones(44100, 2.0, {523.0, 523.0 * 1.5}, 0.4);
  EncodeOptions ms = Opt(192);
  ms.force_ms = true;
  const Encoded a = EncodeMp3(source, ms);
  const Encoded b = EncodeMp3(source, Opt(192, STEREO));
  Save(Scratch("ms.mp3"), a.bytes);
  Save(Scratch("lr.mp3"), b.bytes);
  const Decoded da = DecodeThroughExports(Scratch("ms.mp3"));
  const Decoded db = DecodeThroughExports(Scratch("lr.mp3"));
  ASSERT_EQ(da.out.frames(), db.out.frames());
  const long lag = a.encoder_delay + kDecoderDelay;
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_GT(Snr(db.out, da.out, ch, 0, 4000, 60000), 25.0) << "channel " << ch;
    EXPECT_GT(Snr(source, da.out, ch, lag, 4000, 60000), 30.0) << "channel " << ch;
  }
}

// A full-scale square wave clips at the 16-bit limits instead of wrapping round.
TEST(Layer3Clipping, FullScaleSquareWaveSaturates) {
  const Signal source = Square(44100, 2.0, 2, 100.0);
  const Encoded mp3 = EncodeMp3(source, Opt(256, STEREO));
  Save(Scratch("square.mp3"), mp3.bytes);
  const Decoded d = DecodeThroughExports(Scratch("square.mp3"));
  const long lag = mp3.encoder_delay + kDecoderDelay;
  int at_limit = 0, wrong_sign = 0;
  for (size_t i = 10000; i < 80000; ++i) {
    // Away from the edges the decoded wave keeps the source's sign.
    const size_t phase = i % 441;
    const bool plateau = (phase > 40 && phase < 180) || (phase > 260 && phase < 400);
    for (int ch = 0; ch < 2; ++ch) {
      const int16_t v = d.out.at(i + static_cast<size_t>(lag), ch);
      if (v == 32767 || v == -32768) ++at_limit;
      if (plateau && (v > 0) != (source.at(i, ch) > 0)) ++wrong_sign;
    }
  }
  EXPECT_GT(at_limit, 1000);  // the overshoot of the band-limited edges is clipped
  EXPECT_EQ(wrong_sign, 0);
}

}  // namespace
