// Files written by VQFEncode as FFmpeg's demuxer and decoder read them: stream facts, length
// and alignment, quality on sines and test signals, pre-echo around clicks, and the signals
// that stress an encoder (silence, full-scale squares, noise, DC, one sample, nothing).
#include "bit_writer.h"
#include "encoder.h"
#include "svvqf.h"
#include "vqf_file.h"
#include "vqf_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

using namespace vqftest;

namespace {

class VqfEncode : public ::testing::Test {
 protected:
  // Encodes through the library's call and decodes with FFmpeg.
  Decoded RoundTrip(const Pcm& pcm, int kbps, const std::string& name = "x") {
    const std::string wav = dir_.Path(name + ".wav"), vqf = dir_.Path(name + ".vqf");
    EXPECT_TRUE(WriteWav(wav, pcm));
    EXPECT_EQ(VQFEncode(wav.c_str(), vqf.c_str(), 44, kbps, nullptr, nullptr), SVC_OK) << name;
    lastVqf_ = vqf;
    return DecodeWithFfmpeg(vqf);
  }
  // The window type of frame t, read straight from the stream (frames have fixed sizes).
  static int WindowType(const std::string& vqf, int frameBits, int t) {
    std::ifstream in(vqf, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    const std::string s(bytes.begin(), bytes.end());
    const size_t data = s.find("DATA") + 4;
    const int64_t bit = int64_t{t} * frameBits;
    const uint32_t two =
        static_cast<uint8_t>(s[data + bit / 8]) << 8 | static_cast<uint8_t>(s[data + bit / 8 + 1]);
    return static_cast<int>((two >> (12 - bit % 8)) & 0xF);
  }
  TempDir dir_;
  std::string lastVqf_;
};

TEST_F(VqfEncode, StreamFactsLengthAndAlignmentAsFfmpegReadsThem) {
  struct Case {
    int channels, kbps;
    int64_t bitRate;
  } cases[] = {{2, 80, 80000}, {2, 96, 96000}, {1, 80, 40000}, {1, 96, 48000}};
  for (const Case& c : cases) {
    const Pcm pcm = c.channels == 2 ? Music(2.5) : Sine(440, -10, 2.5, 1);
    const Decoded d = RoundTrip(pcm, c.kbps);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.codec, "twinvq");
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, c.channels);
    EXPECT_EQ(d.bitRate, c.bitRate);
    EXPECT_EQ(d.errors, 0);
    // The source's length rounded up to whole frames, no more.
    EXPECT_GE(d.Frames(), pcm.Frames());
    EXPECT_LT(d.Frames(), pcm.Frames() + 2048);
    EXPECT_EQ(BestLag(pcm, d, 32), 0);
  }
}

TEST_F(VqfEncode, SinesKeepTheirLevelAndReachTheirSnr) {
  for (double hz : {100.0, 1000.0, 5000.0, 10000.0})
    for (double db : {-6.0, -30.0})
      for (int kbps : {80, 96}) {
        const Pcm pcm = Sine(hz, db, 1.5);
        const Decoded d = RoundTrip(pcm, kbps);
        const size_t from = 4096, to = pcm.Frames() - 4096;
        const double snr = Snr(pcm, d, -1, from, to);
        EXPECT_NEAR(LevelDb(d.samples, 2, 0, from, to), LevelDb(pcm, 0, from, to), 1.0) << hz << " Hz " << db;
        EXPECT_GE(snr, kbps == 96 ? 15.0 : 12.0) << hz << " Hz " << db << " dBFS " << kbps;
      }
}

TEST_F(VqfEncode, TestSignalsKeepTheirSegmentalSnr) {
  // Floors a few dB under what the encoder reaches, so a regression shows.
  struct Case {
    const char* name;
    Pcm pcm;
    double floor80, floor96;
  } cases[] = {{"two-tone", TwoTone(2), 20, 22},
               {"sweep", Sweep(3), 20, 22},
               {"noise", Noise(-20, 2), 2, 3},
               {"clicks", ClickTrain(2), 10, 12},
               {"music", Music(3), 9, 10}};
  for (const Case& c : cases) {
    for (int kbps : {80, 96}) {
      const Decoded d = RoundTrip(c.pcm, kbps);
      EXPECT_GE(SegmentalSnr(c.pcm, d), kbps == 80 ? c.floor80 : c.floor96) << c.name << " " << kbps;
    }
  }
}

// Writes a VQF with the encoder's own classes, block switching on or off.
std::string EncodeDirect(const Pcm& pcm, bool switching, const std::string& path) {
  svvqf::Encoder enc(48, 2);
  enc.SetBlockSwitching(switching);
  svvqf::VqfFileWriter out;
  svvqf::VqfInfo info;
  info.totalKbps = 96;
  EXPECT_TRUE(out.Open(path, info));
  svvqf::BitWriter bits;
  std::vector<float> f(pcm.samples.begin(), pcm.samples.end());
  EXPECT_TRUE(enc.Push(f.data(), static_cast<int>(pcm.Frames()), bits));
  EXPECT_TRUE(enc.Finish(bits));
  bits.Flush();
  out.Write(bits.Bytes().data(), bits.Bytes().size());
  EXPECT_TRUE(out.Finish());
  return path;
}

// Noise in the quiet stretch [onset - 1536, onset - gap) before each click, relative to the
// click, in dB.
double PreEcho(const Pcm& ref, const Decoded& d, size_t gap = 64) {
  double before = 0, click = 0;
  const size_t spacing = static_cast<size_t>(kRate / 4.0);
  for (size_t onset = spacing / 2; onset + 660 < std::min(ref.Frames(), d.Frames()); onset += spacing) {
    for (size_t i = onset - 1536; i < onset - gap; ++i) before += d.samples[2 * i] * d.samples[2 * i];
    for (size_t i = onset; i < onset + 660; ++i) click += double(ref.samples[2 * i]) * ref.samples[2 * i];
  }
  return 10 * std::log10((before / double(1536 - gap) + 1e-9) / (click / 660));
}

TEST_F(VqfEncode, ShortBlocksContainPreEchoAroundClicks) {
  const Pcm clicks = ClickTrain(3);
  const Decoded withShort = DecodeWithFfmpeg(EncodeDirect(clicks, true, dir_.Path("short.vqf")));
  const Decoded longOnly = DecodeWithFfmpeg(EncodeDirect(clicks, false, dir_.Path("long.vqf")));
  ASSERT_EQ(withShort.errors, 0);
  ASSERT_EQ(longOnly.errors, 0);
  const double contained = PreEcho(clicks, withShort), spread = PreEcho(clicks, longOnly);
  EXPECT_LT(contained, spread - 10) << "pre-echo " << contained << " dB with short blocks, " << spread
                                    << " without";
  // Beyond one short block before the attack, next to nothing is left.
  const double farContained = PreEcho(clicks, withShort, 256), farSpread = PreEcho(clicks, longOnly, 256);
  EXPECT_LT(farContained, farSpread - 15) << farContained << " against " << farSpread;
  EXPECT_LT(farContained, -45);
  // And the stream really switches: some frames short (2), and the long ones around them
  // start or end with the short slope.
  int shortFrames = 0;
  for (int t = 0; t < 60; ++t) shortFrames += WindowType(dir_.Path("short.vqf"), 4458, t) == 2;
  EXPECT_GE(shortFrames, 8);
}

TEST_F(VqfEncode, ChunksNameTheTitleAndTheEncoder) {
  RoundTrip(Sine(1000, -20, 0.5), 80, "My Song");
  std::ifstream in(lastVqf_, std::ios::binary);
  std::string head(200, '\0');
  in.read(head.data(), 200);
  EXPECT_EQ(head.substr(0, 12), "TWIN97012000");
  EXPECT_NE(head.find("NAME\0\0\0\x07My Song", 0, 15), std::string::npos);
  EXPECT_NE(head.find("COMT"), std::string::npos);
  EXPECT_NE(head.find("svvqf"), std::string::npos);
  // COMM: stereo, 80 kbit/s in all, 44 kHz.
  EXPECT_EQ(head.substr(16, 24), std::string("COMM\0\0\0\x10\0\0\0\x01\0\0\0\x50\0\0\0\x2C\0\0\0\0", 24));
  // DSIZ holds the byte count after DATA.
  const size_t dsiz = head.find("DSIZ"), data = head.find("DATA");
  ASSERT_NE(dsiz, std::string::npos);
  const uint32_t stated = uint8_t(head[dsiz + 8]) << 24 | uint8_t(head[dsiz + 9]) << 16 |
                          uint8_t(head[dsiz + 10]) << 8 | uint8_t(head[dsiz + 11]);
  in.seekg(0, std::ios::end);
  EXPECT_EQ(stated, static_cast<uint32_t>(in.tellg()) - (data + 4));
  // N frames of 3715 bits: ceil(22050 / 2048) + 2 = 13.
  EXPECT_EQ(stated, (13u * 3715 + 7) / 8);
}

TEST_F(VqfEncode, OtherRatesAreResampledAndKeepTheirPitchAndLength) {
  for (int rate : {22050, 48000, 8000}) {
    const Pcm pcm = Sine(1000, -10, 2.0, 2, rate);
    const Decoded d = RoundTrip(pcm, 96);
    ASSERT_EQ(d.rate, 44100);
    // Same duration (within a frame and the resampler's delay).
    EXPECT_NEAR(double(d.Frames()) / 44100, 2.0, 2048.0 / 44100 + 0.01) << rate;
    // Same pitch: count rising zero crossings over one second in the middle.
    int crossings = 0;
    for (size_t i = 22050; i < 22050 + 44100; ++i)
      crossings += d.samples[2 * i] < 0 && d.samples[2 * (i + 1)] >= 0;
    EXPECT_NEAR(crossings, 1000, 3) << rate;
  }
}

TEST_F(VqfEncode, HardSignalsDecodeCleanly) {
  struct Case {
    const char* name;
    Pcm pcm;
  } cases[] = {{"silence", Constant(0, 1.0)},
               {"square", Square(1000, 1.0)},
               {"square 50", Square(50, 1.0)},
               {"white noise", Noise(0, 1.0)},
               {"DC +", Constant(32767, 1.0)},
               {"DC -", Constant(-32768, 1.0)},
               {"one sample", Constant(12000, 1.0 / 44100)},
               {"empty", Constant(0, 0)},
               {"mono noise", Noise(-3, 0.5, 1)}};
  for (const Case& c : cases)
    for (int kbps : {80, 96}) {
      const Decoded d = RoundTrip(c.pcm, kbps, "hard");
      ASSERT_TRUE(d.ok) << c.name;
      EXPECT_EQ(d.errors, 0) << c.name;
      EXPECT_EQ(d.Frames(), (c.pcm.Frames() + 2047) / 2048 * 2048) << c.name;
      for (float v : d.samples) ASSERT_TRUE(std::isfinite(v)) << c.name;
      if (std::string(c.name) == "silence") {
        for (float v : d.samples) ASSERT_LT(std::fabs(v), 2.0f) << "silence stays silent";
      }
    }
}

}  // namespace
