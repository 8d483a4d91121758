// Layer I and Layer II decoding: table selection, streams made by TwoLAME and by a small
// Layer I encoder checked against their source signal, the conformance streams when present.
#include <gtest/gtest.h>
#include <twolame.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "layer12.h"
#include "layer12_support.h"

namespace {

using namespace l12test;

svd::FrameHeader Header(int version, int layer, int bitrate_index, int sampling_index, int mode,
                        int mode_extension = 0) {
  svd::FrameHeader h;
  h.version = version;
  h.layer_code = 4 - layer;
  h.bitrate_index = bitrate_index;
  h.sampling_index = sampling_index;
  h.mode = mode;
  h.mode_extension = mode_extension;
  return h;
}

// Tones that differ between the channels; the right channel also carries a 5 kHz tone
// shared with the left at a fixed ratio.
std::vector<double> TestSignal(int rate, int channels, double seconds) {
  const size_t n = static_cast<size_t>(rate * seconds);
  std::vector<double> pcm(n * channels);
  const double pi = std::acos(-1.0);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double common = 0.1 * std::sin(2 * pi * 5000.0 * t);
    pcm[i * channels] = 0.35 * std::sin(2 * pi * 440.0 * t) + 0.2 * std::sin(2 * pi * 1250.0 * t) + common;
    if (channels == 2) pcm[i * channels + 1] = 0.4 * std::sin(2 * pi * 660.0 * t + 1.0) + 0.5 * common;
  }
  return pcm;
}

struct Encoded {
  std::vector<uint8_t> stream;
  std::vector<double> source;
};

Encoded EncodeTwoLame(int rate, int channels, TWOLAME_MPEG_mode mode, int kbps, bool crc = false) {
  Encoded e;
  e.source = TestSignal(rate, channels, 1.5);
  std::vector<short> pcm(e.source.size());
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<short>(std::lround(e.source[i] * 32767.0));
  twolame_options* opts = twolame_init();
  twolame_set_num_channels(opts, channels);
  twolame_set_in_samplerate(opts, rate);
  twolame_set_out_samplerate(opts, rate);
  twolame_set_mode(opts, mode);
  twolame_set_bitrate(opts, kbps);
  twolame_set_error_protection(opts, crc ? 1 : 0);
  if (twolame_init_params(opts) != 0) {
    twolame_close(&opts);
    return e;
  }
  const int frames = static_cast<int>(pcm.size() / channels);
  std::vector<unsigned char> out(pcm.size() * 2 + 16384);
  int used =
      twolame_encode_buffer_interleaved(opts, pcm.data(), frames, out.data(), static_cast<int>(out.size()));
  if (used >= 0) used += twolame_encode_flush(opts, out.data() + used, static_cast<int>(out.size()) - used);
  twolame_close(&opts);
  if (used > 0) e.stream.assign(out.begin(), out.begin() + used);
  return e;
}

TEST(Layer2Tables, BitRatePerChannelAndSamplingRateChooseTheTable) {
  using svd::Layer2SubbandLimit;
  // 48 kHz, 192 kbit/s stereo: 96 kbit/s a channel, 27 subbands.
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 10, 1, svd::kStereo)), 27);
  // 32 kHz, 64 kbit/s stereo (index 4 counts as 32 kbit/s a channel): 12 subbands.
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 4, 2, svd::kStereo)), 12);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 4, 0, svd::kJointStereo)), 8);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 10, 0, svd::kStereo)), 30);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 8, 0, svd::kStereo)), 27);  // 64 a channel
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 14, 2, svd::kDualChannel)), 30);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 14, 1, svd::kStereo)), 27);
  // Single channel: the index itself.
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 2, 1, svd::kSingleChannel)), 8);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 2, 2, svd::kSingleChannel)), 12);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 5, 0, svd::kSingleChannel)), 27);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 6, 0, svd::kSingleChannel)), 30);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg1, 2, 10, 1, svd::kSingleChannel)), 27);
  // Lower sampling frequencies: one table of 30 subbands.
  EXPECT_EQ(svd::Layer2Table(Header(svd::kMpeg2, 2, 1, 0, svd::kStereo)), 4);
  EXPECT_EQ(Layer2SubbandLimit(Header(svd::kMpeg2, 2, 14, 2, svd::kSingleChannel)), 30);
  EXPECT_EQ(svd::JointStereoBound(Header(svd::kMpeg1, 1, 14, 0, svd::kJointStereo, 2)), 12);
  EXPECT_EQ(svd::JointStereoBound(Header(svd::kMpeg1, 1, 14, 0, svd::kStereo, 2)), 32);
}

struct TwoLameCase {
  int rate;
  int channels;
  TWOLAME_MPEG_mode mode;
  int kbps;
  double min_snr;
};

TEST(Layer2, TwoLameStreamsDecodeToTheirSource) {
  const TwoLameCase cases[] = {
      {48000, 2, TWOLAME_STEREO, 192, 30},       {48000, 1, TWOLAME_MONO, 96, 30},
      {44100, 2, TWOLAME_JOINT_STEREO, 128, 25}, {44100, 2, TWOLAME_STEREO, 256, 30},
      {44100, 1, TWOLAME_MONO, 48, 15},          {32000, 2, TWOLAME_STEREO, 64, 10},
      {32000, 2, TWOLAME_JOINT_STEREO, 384, 30}, {16000, 1, TWOLAME_MONO, 32, 15},
      {22050, 2, TWOLAME_JOINT_STEREO, 64, 15},  {24000, 2, TWOLAME_STEREO, 160, 30},
  };
  for (const TwoLameCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, mode " << c.mode << ", "
                                    << c.kbps << " kbit/s");
    const Encoded e = EncodeTwoLame(c.rate, c.channels, c.mode, c.kbps, c.kbps == 128);
    ASSERT_FALSE(e.stream.empty());
    const Decoded d = DecodeStream(e.stream);
    ASSERT_GT(d.frames, 10);
    EXPECT_EQ(d.layer, 2);
    EXPECT_EQ(d.sample_rate, c.rate);
    EXPECT_EQ(d.channels, c.channels);
    EXPECT_EQ(d.pcm.size(), static_cast<size_t>(d.frames) * 1152 * c.channels);
    for (int ch = 0; ch < c.channels; ++ch)
      EXPECT_GT(BestSnr(d.pcm, d.channels, ch, e.source, c.channels, 1500), c.min_snr) << "channel " << ch;
  }
}

TEST(Layer2, QuarterRateKeepsTheLowBands) {
  const Encoded e = EncodeTwoLame(48000, 2, TWOLAME_STEREO, 192);
  ASSERT_FALSE(e.stream.empty());
  const Decoded full = DecodeStream(e.stream);
  const Decoded quarter = DecodeStream(e.stream, 2);
  ASSERT_EQ(quarter.pcm.size() * 4, full.pcm.size());
  EXPECT_EQ(quarter.sample_rate, 12000);
  EXPECT_EQ(quarter.samples_per_frame, 288);
}

Layer1Options FixedAllocation(int mode, int mode_extension, int sampling_index) {
  Layer1Options o;
  o.mode = mode;
  o.mode_extension = mode_extension;
  o.sampling_index = sampling_index;
  for (int sb = 0; sb < 32; ++sb)
    o.allocation[sb] = sb < 2 ? 13 : (sb < 6 ? 6 : (sb < 10 ? 4 : (sb < 16 ? 2 : 0)));
  return o;
}

TEST(Layer1, OwnEncoderStreamsDecodeToTheirSource) {
  struct Case {
    int channels, mode, ext, sampling_index, rate;
  } cases[] = {{2, svd::kStereo, 0, 0, 44100},
               {2, svd::kJointStereo, 1, 1, 48000},
               {1, svd::kSingleChannel, 0, 2, 32000},
               {2, svd::kDualChannel, 0, 1, 48000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz mode " << c.mode);
    const std::vector<double> source = TestSignal(c.rate, c.channels, 1.0);
    const std::vector<uint8_t> stream =
        EncodeLayer1(source, c.channels, FixedAllocation(c.mode, c.ext, c.sampling_index));
    ASSERT_FALSE(stream.empty());
    const Decoded d = DecodeStream(stream);
    EXPECT_EQ(d.layer, 1);
    EXPECT_EQ(d.samples_per_frame, 384);
    EXPECT_EQ(d.frames, static_cast<int>(source.size() / c.channels / 384));
    EXPECT_EQ(d.pcm.size(), static_cast<size_t>(d.frames) * 384 * c.channels);
    int delay = -1;
    for (int ch = 0; ch < c.channels; ++ch) {
      EXPECT_GT(BestSnr(d.pcm, d.channels, ch, source, c.channels, 1000, &delay), 40.0) << "channel " << ch;
      EXPECT_EQ(delay, 481);  // analysis and synthesis filter delay
    }
  }
}

// Vectors of the conformance suites: every complete frame, max difference 1, PSNR > 96 dB.
class Conformance : public testing::TestWithParam<const char*> {};

TEST_P(Conformance, MatchesTheReferenceDecoder) {
  const char* dir = std::getenv("SVD_VECTORS_DIR");  // overrides the tree's default place
  const std::string base = std::string(dir ? dir : SVD_VECTORS_DIR) + "/" + GetParam();
  if (!std::filesystem::exists(base + ".bit") || !std::filesystem::exists(base + ".pcm"))
    GTEST_SKIP() << "conformance stream " << base << ".bit not available";
  const std::vector<uint8_t> stream = ReadFile(base + ".bit");
  const std::vector<uint8_t> raw = ReadFile(base + ".pcm");
  const Decoded d = DecodeStream(stream);
  ASSERT_GT(d.frames, 0);
  const size_t expected = static_cast<size_t>(d.frames) * d.samples_per_frame * d.channels;
  ASSERT_EQ(d.pcm.size(), expected);
  const size_t common = std::min(expected, raw.size() / 2);
  ASSERT_GT(common, expected / 2);
  int max_diff = 0;
  double squared = 0.0;
  for (size_t i = 0; i < common; ++i) {
    const int16_t ref = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    const int diff = std::abs(d.pcm[i] - ref);
    max_diff = std::max(max_diff, diff);
    squared += static_cast<double>(diff) * diff;
  }
  const double psnr = squared == 0.0 ? 200.0 : 10.0 * std::log10(32767.0 * 32767.0 / (squared / common));
  std::printf("%s: %d frames, max diff %d, PSNR %.1f dB\n", GetParam(), d.frames, max_diff, psnr);
  EXPECT_LE(max_diff, 1);
  EXPECT_GT(psnr, 96.0);
}

INSTANTIATE_TEST_SUITE_P(Layer1And2, Conformance,
                         testing::Values("l1-fl1", "l1-fl2", "l1-fl3", "l2-fl10", "l2-fl11", "l2-fl12"));

}  // namespace

namespace {

using l12test::BitWriter;

// A frame body (after the header) from a bit writer, as the frame reader hands it over.
struct Body {
  std::vector<uint8_t> bytes;
  svd::BitReader reader;
  explicit Body(BitWriter& w, size_t size) : bytes(w.Take(size)), reader(bytes.data(), bytes.size()) {}
};

TEST(Layer1Errors, AllocationFifteenAndScaleFactorIndex63AreFatal) {
  const svd::FrameHeader h = Header(svd::kMpeg1, 1, 14, 0, svd::kStereo);
  static svd::SubbandSlots slots[2];
  {
    BitWriter w;
    for (int i = 0; i < 63; ++i) w.Put(0, 4);
    w.Put(15, 4);  // last subband, right channel
    Body body(w, 480);
    EXPECT_ANY_THROW(svd::DecodeLayer1(h, body.reader, slots));
  }
  {
    BitWriter w;
    w.Put(3, 4);  // subband 0 left: 4 bits
    for (int i = 1; i < 64; ++i) w.Put(0, 4);
    w.Put(63, 6);
    Body body(w, 480);
    EXPECT_ANY_THROW(svd::DecodeLayer1(h, body.reader, slots));
  }
  {
    // The same frame with index 62 decodes: 12 samples of subband 0, all else silent.
    BitWriter w;
    w.Put(3, 4);
    for (int i = 1; i < 64; ++i) w.Put(0, 4);
    w.Put(3, 6);  // scale 1.0
    for (int s = 0; s < 12; ++s) w.Put(s, 4);
    Body body(w, 480);
    ASSERT_EQ(svd::DecodeLayer1(h, body.reader, slots), 12);
    for (int s = 0; s < 12; ++s) {
      EXPECT_NEAR(slots[0][s][0], (2.0 * s + 1 - 15) / 15, 1e-7);
      EXPECT_EQ(slots[0][s][1], 0.0f);
      EXPECT_EQ(slots[1][s][0], 0.0f);
    }
  }
}

TEST(Layer2Errors, SubbandLimitBelowTheJointBoundIsFatal) {
  // 48 kHz, 64 kbit/s: the 8-subband table; a bound of 12 cannot be coded.
  static svd::SubbandSlots slots[2];
  BitWriter w;
  Body body(w, 200);
  EXPECT_ANY_THROW(svd::DecodeLayer2(Header(svd::kMpeg1, 2, 4, 1, svd::kJointStereo, 2), body.reader, slots));
  BitWriter ok;
  Body zeros(ok, 200);
  EXPECT_EQ(svd::DecodeLayer2(Header(svd::kMpeg1, 2, 4, 1, svd::kJointStereo, 1), zeros.reader, slots), 36);
}

TEST(Layer2, ScaleFactorIndex63SilencesItsPart) {
  // Single channel, 48 kHz, 32 kbit/s (8 subbands, first row 4 bits): subband 0 with 15
  // levels (allocation 4), scale factors 3, 63 and 3 for the three parts.
  const svd::FrameHeader h = Header(svd::kMpeg1, 2, 1, 1, svd::kSingleChannel);
  ASSERT_EQ(svd::Layer2SubbandLimit(h), 8);
  BitWriter w;
  w.Put(4, 4);
  w.Put(0, 4);
  for (int sb = 2; sb < 8; ++sb) w.Put(0, 3);
  w.Put(0, 2);  // three scale factors
  w.Put(3, 6);
  w.Put(63, 6);
  w.Put(3, 6);
  for (int s = 0; s < 36; ++s) w.Put(14, 4);
  Body body(w, 144);
  static svd::SubbandSlots slots[2];
  ASSERT_EQ(svd::DecodeLayer2(h, body.reader, slots), 36);
  for (int s = 0; s < 36; ++s) {
    EXPECT_NEAR(slots[0][s][0], (s >= 12 && s < 24) ? 0.0 : 14.0 / 15.0, 1e-7) << s;
    EXPECT_EQ(slots[0][s][1], 0.0f);
  }
}

}  // namespace
