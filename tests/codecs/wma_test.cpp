// WMA: every profile of the page gives WMA version 2 in ASF at 44.1 kHz and its bit rate,
// decodes to the source's length within the codec's delay, and sounds like the source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>

#include "codec_support.h"

namespace codectest {
namespace {

constexpr int kFrame = 2048;  // one WMA frame: the codec's delay and its padding

int32_t encode(const fs::path& wav, const fs::path& wma, int profile) {
  int16_t cancel = 0;
  return Lib().wmaEncode(wav.c_str(), wma.c_str(), static_cast<uint8_t>(profile), nullptr, &cancel);
}
int32_t decode(const fs::path& wma, const fs::path& wav) {
  int16_t cancel = 0;
  return Lib().wmaDecode(wma.c_str(), wav.c_str(), nullptr, &cancel);
}

// ffprobe's key=value lines.
std::map<std::string, std::string> probe(const fs::path& file) {
  std::map<std::string, std::string> facts;
  std::istringstream lines(
      Shell("ffprobe -v error -of default=nw=1 -show_entries "
            "format=format_name,duration:stream=codec_name,sample_rate,channels,bit_rate " +
            Quote(file)));
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos && !facts.count(line.substr(0, eq)))
      facts[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return facts;
}

// The audio's own bit rate: the bytes of every packet over the stream's duration.
double payloadBitRate(const fs::path& file) {
  std::istringstream sizes(Shell("ffprobe -v error -of csv=p=0 -show_entries packet=size " + Quote(file)));
  double bytes = 0;
  for (std::string line; std::getline(sizes, line);) bytes += std::atof(line.c_str());
  return bytes * 8 / std::atof(probe(file)["duration"].c_str());
}

// The size of the ASF header object, stored right after its 16-byte GUID.
uint64_t headerObjectSize(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char b[24] = {};
  in.read(b, 24);
  uint64_t size = 0;
  std::memcpy(&size, b + 16, 8);
  return size;
}

class WmaProfile : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(WmaProfile, IsWmaTwoInAsfAtItsBitRateAndSoundsLikeTheSource) {
  if (!HaveTool("ffprobe") || !HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  const auto [profile, bitRate] = GetParam();
  TempDir dir;
  const Signal s{44100, 2, 6.0};
  const auto pcm = MakeSignal(s);
  WriteWav(dir / "in.wav", pcm, s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "out.wma", profile), SVC_OK);

  auto facts = probe(dir / "out.wma");
  EXPECT_EQ(facts["format_name"], "asf");
  EXPECT_EQ(facts["codec_name"], "wmav2");
  EXPECT_EQ(facts["sample_rate"], "44100");
  EXPECT_EQ(facts["channels"], "2");
  EXPECT_NEAR(std::atof(facts["bit_rate"].c_str()), bitRate, 0.05 * bitRate);
  EXPECT_NEAR(payloadBitRate(dir / "out.wma"), bitRate, 0.05 * bitRate);
  // The container adds a header per frame (3 to 5 % at these rates, over long files) and pads
  // its last packet; packets sized for whole frames keep the rest of it small.
  const double fileRate = double(fs::file_size(dir / "out.wma") - headerObjectSize(dir / "out.wma")) * 8 /
                          std::atof(facts["duration"].c_str());
  EXPECT_NEAR(fileRate, bitRate, 0.12 * bitRate);

  ASSERT_EQ(decode(dir / "out.wma", dir / "ours.wav"), SVC_OK);
  const Wav ours = ReadWav(dir / "ours.wav");
  EXPECT_TRUE(ours.Truthful());
  EXPECT_EQ(ours.rate, 44100);
  EXPECT_EQ(ours.channels, 2);
  EXPECT_NEAR(double(ours.Frames()), double(pcm.size() / 2), kFrame);
  // ffmpeg's own decoding of our file gives the very same samples.
  int status = 0;
  Shell("ffmpeg -v error -y -i " + Quote(dir / "out.wma") + " -c:a pcm_s16le " + Quote(dir / "ffmpeg.wav"),
        &status);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(ReadWav(dir / "ffmpeg.wav").samples == ours.samples);

  int lag = 0;
  const double snr = Snr(pcm, ours.samples, 2, kFrame, &lag);
  RecordProperty("snr_db", std::to_string(snr));
  RecordProperty("lag", lag);
  EXPECT_GT(snr, 25.0) << "lag " << lag;
  EXPECT_LT(Snr(pcm, SwapChannels(ours.samples), 2, kFrame), 3.0);
}

INSTANTIATE_TEST_SUITE_P(PageProfiles, WmaProfile,
                         ::testing::Values(std::pair{22, 64000}, std::pair{23, 96000}, std::pair{24, 128000}),
                         [](const auto& info) { return std::to_string(info.param.first); });

TEST(Wma, MonoSourceStaysMono) {
  TempDir dir;
  const Signal s{44100, 1, 3.0};
  const auto pcm = MakeSignal(s);
  WriteWav(dir / "in.wav", pcm, s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "out.wma", 22), SVC_OK);
  ASSERT_EQ(decode(dir / "out.wma", dir / "back.wav"), SVC_OK);
  const Wav w = ReadWav(dir / "back.wav");
  EXPECT_EQ(w.channels, 1);
  EXPECT_NEAR(double(w.Frames()), double(pcm.size()), kFrame);
  EXPECT_GT(Snr(pcm, w.samples, 1, kFrame), 18.0);
}

// Every profile is a 44.1 kHz one: another rate is converted, and the tones keep their pitch.
TEST(Wma, OtherRatesAreConvertedWithoutChangingPitchOrLength) {
  TempDir dir;
  const Signal s{48000, 2, 3.0};
  WriteWav(dir / "in.wav", MakeSignal(s), s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "out.wma", 24), SVC_OK);
  ASSERT_EQ(decode(dir / "out.wma", dir / "back.wav"), SVC_OK);
  const Wav w = ReadWav(dir / "back.wav");
  EXPECT_EQ(w.rate, 44100);
  EXPECT_NEAR(double(w.Frames()), 3.0 * 44100, kFrame);
  // The left channel's 440 Hz tone is still at 440 Hz, not where a wrong rate would put it.
  EXPECT_GT(ToneShare(w.samples, 2, 0, 44100, 440.0), 0.5);
  EXPECT_LT(ToneShare(w.samples, 2, 0, 44100, 440.0 * 48000 / 44100), 0.05);
  EXPECT_GT(ToneShare(w.samples, 2, 1, 44100, 1250.0), 0.5);
}

// The header objects without any packets: the header promises audio that is not there.
TEST(Wma, HeaderOnlyFileGivesAnEmptyTruthfulWavAndIsDamaged) {
  TempDir dir;
  const Signal s{44100, 2, 3.0};
  WriteWav(dir / "in.wav", MakeSignal(s), s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "full.wma", 23), SVC_OK);
  auto b = ReadBytes(dir / "full.wma");
  const uint64_t headerSize = headerObjectSize(dir / "full.wma");
  ASSERT_LT(headerSize + 50, b.size());
  b.resize(headerSize + 50);  // and the data object's own header
  WriteBytes(dir / "head.wma", b);
  ASSERT_EQ(decode(dir / "head.wma", dir / "head.wav"), SVC_E_DAMAGED);
  const Wav w = ReadWav(dir / "head.wav");
  EXPECT_TRUE(w.Truthful());
  EXPECT_EQ(w.Frames(), 0u);
}

// A packet lost in the middle and its place taken by a copy of its neighbour, as a damaged
// copy can have it: the file keeps its size, but the audio jumps and that is reported.
TEST(Wma, LostPacketInTheMiddleIsReported) {
  TempDir dir;
  const Signal s{44100, 2, 6.0};
  WriteWav(dir / "in.wav", MakeSignal(s), s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "full.wma", 23), SVC_OK);
  auto b = ReadBytes(dir / "full.wma");
  // The file properties object gives the packet size; packets follow the 50-byte data object header.
  const std::string_view fileProperties("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65",
                                        16);
  const size_t at = std::string_view(b.data(), b.size()).find(fileProperties);
  ASSERT_NE(at, std::string_view::npos);
  uint32_t packet = 0;
  std::memcpy(&packet, b.data() + at + 92, 4);
  const size_t first = headerObjectSize(dir / "full.wma") + 50;
  ASSERT_GT(packet, 100u);
  ASSERT_LT(first + 12 * packet, b.size());
  std::copy_n(b.begin() + std::ptrdiff_t(first + 5 * packet), packet,
              b.begin() + std::ptrdiff_t(first + 6 * packet));
  WriteBytes(dir / "lost.wma", b);
  ASSERT_EQ(decode(dir / "lost.wma", dir / "lost.wav"), SVC_E_DAMAGED);
  EXPECT_TRUE(ReadWav(dir / "lost.wav").Truthful());
}

}  // namespace
}  // namespace codectest
