// The two calls as the program uses them: argument checks, result codes, progress, cancel,
// and what is left on disk when a call stops early.
#include "progress.h"
#include "svvqf.h"
#include "vqf_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace vqftest;
namespace fs = std::filesystem;

namespace {

std::vector<int> percents;
int16_t* cancelAt = nullptr;
int cancelPercent = 101;

int16_t Record(int16_t p) {
  percents.push_back(p);
  if (cancelAt && p >= cancelPercent) *cancelAt = 1;
  return 0;
}

std::vector<std::pair<int, int>> pairs;
int16_t RecordPair(int16_t position, int16_t rate) {
  pairs.emplace_back(position, rate);
  if (cancelAt && pairs.size() >= 3) *cancelAt = 1;
  return 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

uint32_t Le32(const std::string& s, size_t at) {
  return uint8_t(s[at]) | uint8_t(s[at + 1]) << 8 | uint8_t(s[at + 2]) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}

// A WAV's header states exactly the PCM that follows it.
void ExpectTruthfulWav(const std::string& path, int channels) {
  const std::string s = Slurp(path);
  ASSERT_GE(s.size(), 44u);
  EXPECT_EQ(s.substr(0, 4), "RIFF");
  EXPECT_EQ(Le32(s, 4), s.size() - 8);
  EXPECT_EQ(Le32(s, 40), s.size() - 44);
  EXPECT_EQ((s.size() - 44) % (2 * channels), 0u);
  EXPECT_EQ(uint8_t(s[22]), channels);
}

class VqfCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    percents.clear();
    pairs.clear();
    cancelAt = nullptr;
    cancelPercent = 101;
    wav_ = dir_.Path("in.wav");
    vqf_ = dir_.Path("out.vqf");
    ASSERT_TRUE(WriteWav(wav_, Music(8)));
  }
  TempDir dir_;
  std::string wav_, vqf_;
  const CodecProgressProc record_ = &Record;
  const VqfDecodeProgressProc recordPair_ = &RecordPair;
};

TEST_F(VqfCalls, EncodeRejectsBadArgumentsWithoutTouchingAnything) {
  EXPECT_EQ(VQFEncode(nullptr, vqf_.c_str(), 44, 80, nullptr, nullptr), SVC_E_ARGUMENT);
  EXPECT_EQ(VQFEncode(wav_.c_str(), nullptr, 44, 80, nullptr, nullptr), SVC_E_ARGUMENT);
  EXPECT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 22, 80, nullptr, nullptr), SVC_E_ARGUMENT);
  EXPECT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 44, 64, nullptr, nullptr), SVC_E_ARGUMENT);
  EXPECT_FALSE(fs::exists(vqf_));
  // Its own source as destination would destroy it.
  const std::string before = Slurp(wav_);
  EXPECT_EQ(VQFEncode(wav_.c_str(), wav_.c_str(), 44, 80, nullptr, nullptr), SVC_E_ARGUMENT);
  EXPECT_EQ(Slurp(wav_), before);
}

TEST_F(VqfCalls, EncodeTellsEachKindOfFailureApart) {
  EXPECT_EQ(VQFEncode(dir_.Path("missing.wav").c_str(), vqf_.c_str(), 44, 80, nullptr, nullptr),
            SVC_E_SOURCE_OPEN);
  // A folder is refused (the shared WAV reader calls it not usable).
  EXPECT_NE(VQFEncode(dir_.Path("").c_str(), vqf_.c_str(), 44, 80, nullptr, nullptr), SVC_OK);
  std::ofstream(dir_.Path("text.wav")) << "not a wave file at all, just words";
  EXPECT_EQ(VQFEncode(dir_.Path("text.wav").c_str(), vqf_.c_str(), 44, 80, nullptr, nullptr),
            SVC_E_SOURCE_FORMAT);
  // 8-bit PCM is not usable.
  std::string eight = Slurp(wav_);
  eight[34] = 8;
  std::ofstream(dir_.Path("eight.wav"), std::ios::binary) << eight;
  EXPECT_EQ(VQFEncode(dir_.Path("eight.wav").c_str(), vqf_.c_str(), 44, 80, nullptr, nullptr),
            SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(VQFEncode(wav_.c_str(), dir_.Path("no/such/folder.vqf").c_str(), 44, 80, nullptr, nullptr),
            SVC_E_DEST_CREATE);
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(VQFEncode(wav_.c_str(), "/dev/full", 44, 80, nullptr, nullptr), SVC_E_WRITE);
  }
}

// WAV files as other programs write them: extensible format, extra chunks, an open size.
TEST_F(VqfCalls, EncodeReadsTheWavVariantsThatProgramsWrite) {
  const Pcm pcm = Sine(1000, -12, 1.0);
  ASSERT_TRUE(WriteWav(wav_, pcm));
  const std::string base = Slurp(wav_);
  const std::string fmt = base.substr(20, 16), data = base.substr(44);
  auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  // Extensible: 40-byte format chunk naming PCM as its sub-format.
  std::string ext = fmt;
  ext[0] = char(0xFE);
  ext[1] = char(0xFF);
  ext += std::string("\x16\0\x10\0\x03\0\0\0\x01\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 24);
  const std::string extensible = "RIFF" + le32(4 + 8 + 40 + 8 + data.size()) + "WAVEfmt " + le32(40) + ext +
                                 "data" + le32(data.size()) + data;
  // A LIST chunk of odd length (padded) between format and data, and a data size left open.
  const std::string listed = "RIFF" + le32(0xFFFFFFFF) + "WAVEfmt " + le32(16) + fmt + "LIST" + le32(5) +
                             std::string("INFOa\0", 6) + "data" + le32(0xFFFFFFFF) + data;
  for (const auto& [name, bytes] :
       {std::pair<std::string, std::string>{"ext.wav", extensible}, {"list.wav", listed}}) {
    std::ofstream(dir_.Path(name), std::ios::binary) << bytes;
    ASSERT_EQ(VQFEncode(dir_.Path(name).c_str(), vqf_.c_str(), 44, 96, nullptr, nullptr), SVC_OK) << name;
    const Decoded d = DecodeWithFfmpeg(vqf_);
    EXPECT_EQ(d.Frames(), (pcm.Frames() + 2047) / 2048 * 2048) << name;
    EXPECT_GT(Snr(pcm, d, -1, 4096, pcm.Frames() - 4096), 20) << name;
  }
}

TEST_F(VqfCalls, EncodeReportsEveryWholePercentOnceInOrder) {
  ASSERT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 44, 96, &record_, nullptr), SVC_OK);
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);
  for (size_t i = 1; i < percents.size(); ++i) EXPECT_GT(percents[i], percents[i - 1]);
  EXPECT_GT(percents.size(), 50u);  // 8 seconds: fine-grained enough to see every step
}

TEST_F(VqfCalls, CancelledEncodeLeavesAPlayablePartialFile) {
  int16_t flag = 0;
  cancelAt = &flag;
  cancelPercent = 30;
  EXPECT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 44, 80, &record_, &flag), SVC_E_CANCELLED);
  EXPECT_LE(percents.back(), 35);
  const Decoded d = DecodeWithFfmpeg(vqf_);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.errors, 0);
  EXPECT_GT(d.Frames(), 44100u);      // a good part of it
  EXPECT_LT(d.Frames(), 4 * 44100u);  // but not all 8 seconds
  // A flag already set stops before any audio, and the file still opens.
  flag = 1;
  EXPECT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 44, 80, nullptr, &flag), SVC_E_CANCELLED);
  EXPECT_TRUE(DecodeWithFfmpeg(vqf_).ok);
}

TEST_F(VqfCalls, DecodeGivesFfmpegsSamplesAsWav) {
  ASSERT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 44, 80, nullptr, nullptr), SVC_OK);
  const std::string out = dir_.Path("back.wav");
  ASSERT_EQ(VQFDecode(vqf_.c_str(), out.c_str(), &recordPair_, nullptr), SVC_OK);
  ExpectTruthfulWav(out, 2);
  const Decoded ref = DecodeWithFfmpeg(vqf_);
  const std::string s = Slurp(out);
  ASSERT_EQ((s.size() - 44) / 2, ref.samples.size());
  for (size_t i = 0; i < ref.samples.size(); i += 97) {
    const int16_t v = static_cast<int16_t>(uint8_t(s[44 + 2 * i]) | uint8_t(s[45 + 2 * i]) << 8);
    ASSERT_NEAR(v, std::clamp(ref.samples[i], -32768.0f, 32767.0f), 1.0f) << i;
  }
  // Progress pairs: the caller's estimate from the file size turns them into true percents.
  ASSERT_FALSE(pairs.empty());
  const int64_t size = static_cast<int64_t>(fs::file_size(vqf_));
  int last = -1;
  for (auto [position, rate] : pairs) {
    ASSERT_GT(rate, 0);
    ASSERT_GE(position, 0);
    const int32_t estimate = static_cast<int32_t>(std::nearbyint(size * 14.69 / rate));
    const int shown =
        static_cast<int>(std::nearbyint(double(position) / std::max(estimate, position + 10) * 100));
    EXPECT_GT(shown, last);
    last = shown;
  }
  EXPECT_EQ(last, 100);
}

// The (position, rate) units hold for files from a second to two hours (at 80 kbit/s).
TEST(VqfDecodeProgressUnits, CallersEstimateGivesTheTruePercent) {
  for (int64_t seconds : {1, 10, 60, 600, 3600, 7200}) {
    const int64_t size = 120 + seconds * 10000;  // 80 kbit/s and a header
    svvqf::VqfDecodeProgress p(nullptr, size);
    ASSERT_GE(p.Rate(), 1);
    for (int percent = 0; percent <= 100; ++percent) {
      const int16_t position = p.PositionFor(percent / 100.0);
      ASSERT_LE(position, 32757);
      const int32_t estimate = static_cast<int32_t>(std::nearbyint(size * 14.69 / p.Rate()));
      const int shown = static_cast<int>(
          std::nearbyint(double(position) / std::max<int32_t>(estimate, position + 10) * 100));
      EXPECT_NEAR(shown, percent, 1) << seconds << " s";
    }
  }
}

TEST_F(VqfCalls, DecodeTellsEachKindOfFailureApart) {
  ASSERT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 44, 80, nullptr, nullptr), SVC_OK);
  const std::string out = dir_.Path("back.wav");
  EXPECT_EQ(VQFDecode(nullptr, out.c_str(), nullptr, nullptr), SVC_E_ARGUMENT);
  EXPECT_EQ(VQFDecode(dir_.Path("none.vqf").c_str(), out.c_str(), nullptr, nullptr), SVC_E_SOURCE_OPEN);
  EXPECT_EQ(VQFDecode(wav_.c_str(), out.c_str(), nullptr, nullptr), SVC_E_SOURCE_FORMAT);
  EXPECT_EQ(VQFDecode(vqf_.c_str(), dir_.Path("no/dir.wav").c_str(), nullptr, nullptr), SVC_E_DEST_CREATE);
  EXPECT_EQ(VQFDecode(vqf_.c_str(), vqf_.c_str(), nullptr, nullptr), SVC_E_ARGUMENT);
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(VQFDecode(vqf_.c_str(), "/dev/full", nullptr, nullptr), SVC_E_WRITE);
  }
}

TEST_F(VqfCalls, DamagedFilesDecodeWhatIsLeftBehindATruthfulHeader) {
  ASSERT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 44, 80, nullptr, nullptr), SVC_OK);
  const std::string whole = Slurp(vqf_), out = dir_.Path("back.wav");
  // Cut in the middle: what is there decodes, and the call says the file is damaged.
  std::ofstream(dir_.Path("cut.vqf"), std::ios::binary) << whole.substr(0, whole.size() / 2);
  EXPECT_EQ(VQFDecode(dir_.Path("cut.vqf").c_str(), out.c_str(), nullptr, nullptr), SVC_E_DAMAGED);
  ExpectTruthfulWav(out, 2);
  EXPECT_GT(fs::file_size(out), 44u + 44100 * 4);
  // Frames with impossible window types are passed over.
  std::string broken = whole;
  for (size_t i = whole.find("DATA") + 4 + 2000; i < broken.size(); i += 1500) broken[i] = char(0xF7);
  std::ofstream(dir_.Path("broken.vqf"), std::ios::binary) << broken;
  fs::remove(out);
  const int r = VQFDecode(dir_.Path("broken.vqf").c_str(), out.c_str(), nullptr, nullptr);
  EXPECT_TRUE(r == SVC_E_DAMAGED || r == SVC_OK) << r;
  ExpectTruthfulWav(out, 2);
  // A header chunk that claims more than the file holds: nothing to decode.
  std::string overlong = whole;
  const size_t name = overlong.find("NAME");
  ASSERT_NE(name, std::string::npos);
  overlong[name + 6] = char(0x2C);
  std::ofstream(dir_.Path("overlong.vqf"), std::ios::binary) << overlong.substr(0, 600);
  EXPECT_EQ(VQFDecode(dir_.Path("overlong.vqf").c_str(), out.c_str(), nullptr, nullptr), SVC_E_SOURCE_FORMAT);
  // A header alone is a format problem, not a crash.
  std::ofstream(dir_.Path("head.vqf"), std::ios::binary) << whole.substr(0, 20);
  fs::remove(out);
  const int h = VQFDecode(dir_.Path("head.vqf").c_str(), out.c_str(), nullptr, nullptr);
  EXPECT_TRUE(h == SVC_E_SOURCE_FORMAT || h == SVC_E_DAMAGED) << h;
}

TEST_F(VqfCalls, CancelledDecodeStopsWithATruthfulHeader) {
  ASSERT_EQ(VQFEncode(wav_.c_str(), vqf_.c_str(), 44, 80, nullptr, nullptr), SVC_OK);
  int16_t flag = 0;
  cancelAt = &flag;
  const std::string out = dir_.Path("back.wav");
  EXPECT_EQ(VQFDecode(vqf_.c_str(), out.c_str(), &recordPair_, &flag), SVC_E_CANCELLED);
  ExpectTruthfulWav(out, 2);
  EXPECT_LT(fs::file_size(out), 44u + 8 * 44100 * 4 / 2);
}

}  // namespace
