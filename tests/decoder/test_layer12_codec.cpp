// Layer I and II streams through the decoder and its MPEG codec: steps, interleaving,
// channel selection, mixing and the reduced rates.
#include <gtest/gtest.h>
#include <twolame.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core_support.h"
#include "layer12.h"
#include "layer12_support.h"
#include "module.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> MakeMp2(int rate, int channels, int kbps, double seconds) {
  const size_t n = static_cast<size_t>(rate * seconds);
  std::vector<short> pcm(n * channels);
  const double pi = std::acos(-1.0);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    // Left: low tones; right: a tone in a high subband as well.
    pcm[i * channels] =
        static_cast<short>(9000 * std::sin(2 * pi * 300 * t) + 3000 * std::sin(2 * pi * 9000 * t));
    if (channels == 2)
      pcm[i * channels + 1] =
          static_cast<short>(8000 * std::sin(2 * pi * 500 * t) + 5000 * std::sin(2 * pi * 15000 * t));
  }
  twolame_options* opts = twolame_init();
  twolame_set_num_channels(opts, channels);
  twolame_set_in_samplerate(opts, rate);
  twolame_set_out_samplerate(opts, rate);
  twolame_set_mode(opts, channels == 2 ? TWOLAME_STEREO : TWOLAME_MONO);
  twolame_set_bitrate(opts, kbps);
  std::vector<unsigned char> out(pcm.size() * 2 + 16384);
  int used = -1;
  if (twolame_init_params(opts) == 0) {
    used = twolame_encode_buffer_interleaved(opts, pcm.data(), static_cast<int>(n), out.data(),
                                             static_cast<int>(out.size()));
    if (used >= 0) used += twolame_encode_flush(opts, out.data() + used, static_cast<int>(out.size()) - used);
  }
  twolame_close(&opts);
  return used > 0 ? std::vector<uint8_t>(out.begin(), out.begin() + used) : std::vector<uint8_t>();
}

// What the codec should produce: the layer decoder's subband samples, routed and limited as
// the options say, through one synthesis per output channel.
std::vector<int16_t> Expected(const std::vector<uint8_t>& stream, int selection, int shift) {
  svd::Synthesis synth[2];
  for (auto& s : synth) s.SetReductionShift(shift);
  static svd::SubbandSlots slots[2];
  std::vector<int16_t> pcm;
  size_t pos = 0;
  while (pos + 4 <= stream.size()) {
    const uint32_t word = svd::ReadBigEndian32(&stream[pos]);
    const svd::FrameHeader h = svd::FrameHeader::Unpack(word);
    if (!svd::FrameHeader::HasSync(word) || !h.Check()) {
      ++pos;
      continue;
    }
    const size_t length = static_cast<size_t>(h.frame_length());
    if (pos + length > stream.size()) break;
    svd::BitReader body(&stream[pos + 4], length - 4);
    const int count = h.layer() == 1 ? svd::DecodeLayer1(h, body, slots) : svd::DecodeLayer2(h, body, slots);
    const int used = 32 >> shift;
    for (int ch = 0; ch < h.channels(); ++ch)
      for (int t = 0; t < count; ++t) std::fill(slots[ch][t] + used, slots[ch][t] + 32, 0.0f);
    const int per_channel = count * (32 >> shift);
    const size_t at = pcm.size();
    if (h.channels() == 2 && selection == 0) {
      pcm.resize(at + 2 * per_channel);
      synth[0].Run(slots[0], count, pcm.data() + at, 2);
      synth[1].Run(slots[1], count, pcm.data() + at + 1, 2);
    } else {
      pcm.resize(at + per_channel);
      if (h.channels() == 2 && selection == 3)
        for (int t = 0; t < count; ++t)
          for (int sb = 0; sb < 32; ++sb) slots[0][t][sb] = (slots[0][t][sb] + slots[1][t][sb]) * 0.5f;
      synth[0].Run(slots[h.channels() == 2 && selection == 2 ? 1 : 0], count, pcm.data() + at, 1);
    }
    pos += length;
  }
  return pcm;
}

class Layer12Codec : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateDecoder(), 0);
    ASSERT_EQ(RegisterInputModule(), 0);
    ASSERT_EQ(RegisterOutputModule(), 0);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::path(SVD_SCRATCH_DIR) / (std::string("Layer12Codec.") + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { EXPECT_EQ(DeleteDecoder(), 0); }

  struct Run {
    std::vector<int16_t> pcm;
    std::vector<int> step_samples;  // per channel, per step
    int channels = 0;
    int rate = 0;
    int errors = 0;
  };

  // Decodes the stream to raw PCM with the given codec parameters.
  Run Decode(const std::vector<uint8_t>& stream, int selection = 0, int reduction = 0) {
    Run r;
    svd_test::WriteFile(dir / "in.mp2", stream);
    EXPECT_EQ(Mp3InputOpen((dir / "in.mp2").c_str()), 0);
    EXPECT_EQ(WaveOutputOpen(("raw:" + (dir / "out.pcm").string()).c_str()), 0);
    svd::Decoder* d = svd::CurrentDecoder();
    if (!d || !d->codec.instance) {
      ADD_FAILURE() << "no codec instance";
      return r;
    }
    svd::CodecParameters p;
    p.word1 = selection;
    p.word2 = reduction;
    EXPECT_EQ(svd::MpegCodecModule().set_parameters(d->codec.instance.get(), &p,
                                                    svd::kParamWord1 | svd::kParamWord2),
              0);
    int32_t result;
    while ((result = Mp3DecodePlay()) == 0 || result == SVD_E_STREAM) {
      if (result == SVD_E_STREAM) {
        ++r.errors;
        continue;
      }
      r.step_samples.push_back(d->output_buffer.sample_count);
      r.channels = d->output_buffer.channels;
      r.rate = d->output_buffer.sample_rate;
    }
    EXPECT_EQ(result, SVD_E_END_OF_INPUT);
    EXPECT_EQ(Mp3InputClose(), 0);
    EXPECT_EQ(WaveOutputClose(), 0);
    const std::vector<uint8_t> bytes = svd_test::ReadFile(dir / "out.pcm");
    r.pcm.resize(bytes.size() / 2);
    for (size_t i = 0; i < r.pcm.size(); ++i)
      r.pcm[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return r;
  }

  fs::path dir;
};

TEST_F(Layer12Codec, StereoLayer2StepsGive1152InterleavedSamples) {
  const std::vector<uint8_t> stream = MakeMp2(48000, 2, 192, 0.5);
  ASSERT_FALSE(stream.empty());
  const Run r = Decode(stream);
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(r.channels, 2);
  EXPECT_EQ(r.rate, 48000);
  ASSERT_FALSE(r.step_samples.empty());
  for (int n : r.step_samples) EXPECT_EQ(n, 1152);
  EXPECT_EQ(r.pcm, Expected(stream, 0, 0));
}

TEST_F(Layer12Codec, Layer1StepsGive384Samples) {
  l12test::Layer1Options o;
  o.sampling_index = 1;
  for (int sb = 0; sb < 16; ++sb) o.allocation[sb] = sb < 4 ? 10 : 3;
  std::vector<double> source(48000 / 4 * 2);
  for (size_t i = 0; i < source.size(); ++i)
    source[i] = 0.3 * std::sin(0.05 * static_cast<double>(i / 2) + (i % 2));
  const std::vector<uint8_t> stream = l12test::EncodeLayer1(source, 2, o);
  ASSERT_FALSE(stream.empty());
  const Run r = Decode(stream);
  ASSERT_EQ(r.step_samples.size(), source.size() / 2 / 384);
  for (int n : r.step_samples) EXPECT_EQ(n, 384);
  EXPECT_EQ(r.pcm, Expected(stream, 0, 0));
}

TEST_F(Layer12Codec, ChannelSelectionAndMixing) {
  const std::vector<uint8_t> stream = MakeMp2(44100, 2, 256, 0.3);
  ASSERT_FALSE(stream.empty());
  const std::vector<int16_t> both = Expected(stream, 0, 0);
  for (int selection = 1; selection <= 3; ++selection) {
    SCOPED_TRACE(selection);
    const Run r = Decode(stream, selection);
    EXPECT_EQ(r.channels, 1);
    const std::vector<int16_t> want = Expected(stream, selection, 0);
    EXPECT_EQ(r.pcm, want);
    ASSERT_EQ(want.size() * 2, both.size());
    if (selection < 3) {
      // The chosen channel of the two-channel output.
      for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(want[i], both[2 * i + selection - 1]) << i;
    } else {
      // Mixing before synthesis is the mean of the channels' outputs, up to rounding.
      for (size_t i = 0; i < want.size(); ++i)
        ASSERT_LE(std::abs(2 * want[i] - (both[2 * i] + both[2 * i + 1])), 3) << i;
    }
  }
}

TEST_F(Layer12Codec, ReducedRatesUseOnlyTheLowSubbands) {
  const std::vector<uint8_t> stream = MakeMp2(48000, 2, 192, 0.5);
  ASSERT_FALSE(stream.empty());
  for (int reduction = 1; reduction <= 2; ++reduction) {
    SCOPED_TRACE(reduction);
    const Run r = Decode(stream, 0, reduction);
    EXPECT_EQ(r.rate, 48000 >> reduction);
    for (int n : r.step_samples) EXPECT_EQ(n, 1152 >> reduction);
    EXPECT_EQ(r.pcm, Expected(stream, 0, reduction));
  }
  // At a quarter of the rate only subbands 0 to 7 (0 to 3 kHz) remain: the right channel's
  // 15 kHz tone would otherwise fold back into the output.
  const Run quarter = Decode(stream, 2, 2);
  double energy = 0.0;
  for (size_t i = 100; i < quarter.pcm.size(); ++i) energy += double(quarter.pcm[i]) * quarter.pcm[i];
  const double rms = std::sqrt(energy / double(quarter.pcm.size() - 100));
  EXPECT_NEAR(rms, 8000 / std::sqrt(2.0), 400);  // the 500 Hz tone alone
}

TEST_F(Layer12Codec, DamagedFrameEndsOnlyItsStep) {
  std::vector<uint8_t> stream = MakeMp2(32000, 1, 64, 0.5);
  ASSERT_FALSE(stream.empty());
  // The second frame becomes joint stereo with a bound of 16 at 32 kHz and 64 kbit/s, whose
  // table codes only 12 subbands: that frame is refused, the others decode.
  const svd::FrameHeader first = svd::FrameHeader::Unpack(svd::ReadBigEndian32(stream.data()));
  const size_t second = static_cast<size_t>(first.frame_length());
  ASSERT_LT(second + 4, stream.size());
  stream[second + 2] = static_cast<uint8_t>((stream[second + 2] & 0x0F) | (4 << 4));
  stream[second + 3] = static_cast<uint8_t>((stream[second + 3] & 0x0F) | (1 << 6) | (3 << 4));
  const svd::FrameHeader bad = svd::FrameHeader::Unpack(svd::ReadBigEndian32(&stream[second]));
  ASSERT_TRUE(bad.Check());
  ASSERT_EQ(svd::Layer2SubbandLimit(bad), 12);
  ASSERT_EQ(svd::JointStereoBound(bad), 16);
  ASSERT_EQ(bad.frame_length(), first.frame_length());
  const Run r = Decode(stream);
  EXPECT_EQ(r.errors, 1);
  EXPECT_GT(r.step_samples.size(), 10u);
}

}  // namespace

namespace {

// The conformance streams again, this time read and routed by the codec itself.
class Layer12CodecConformance : public Layer12Codec, public ::testing::WithParamInterface<const char*> {};

TEST_P(Layer12CodecConformance, EveryCompleteFrameMatchesTheReference) {
  const char* env = std::getenv("SVD_VECTORS_DIR");
  const std::string base = std::string(env ? env : SVD_VECTORS_DIR) + "/" + GetParam();
  if (!fs::exists(base + ".bit") || !fs::exists(base + ".pcm"))
    GTEST_SKIP() << "conformance stream " << base << ".bit not available";
  const std::vector<uint8_t> stream = l12test::ReadFile(base + ".bit");
  const std::vector<uint8_t> raw = l12test::ReadFile(base + ".pcm");
  const l12test::Decoded own = l12test::DecodeStream(stream);
  const Run r = Decode(stream);
  EXPECT_EQ(r.errors, 0);
  ASSERT_EQ(static_cast<int>(r.step_samples.size()), own.frames);
  ASSERT_EQ(r.pcm.size(), static_cast<size_t>(own.frames) * own.samples_per_frame * own.channels);
  const size_t common = std::min(r.pcm.size(), raw.size() / 2);
  int max_diff = 0;
  double squared = 0.0;
  for (size_t i = 0; i < common; ++i) {
    const int diff = std::abs(r.pcm[i] - static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8));
    max_diff = std::max(max_diff, diff);
    squared += double(diff) * diff;
  }
  EXPECT_LE(max_diff, 1);
  EXPECT_GT(squared == 0.0 ? 200.0 : 10.0 * std::log10(32767.0 * 32767.0 * common / squared), 96.0);
}

INSTANTIATE_TEST_SUITE_P(Streams, Layer12CodecConformance,
                         ::testing::Values("l1-fl1", "l1-fl2", "l1-fl3", "l2-fl10", "l2-fl11", "l2-fl12"));

}  // namespace
