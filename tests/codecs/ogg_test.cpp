// OGG Vorbis: every level of the page round-trips sample-exactly in length through our
// decoder, oggdec and ffmpeg; the audio is the source's; chains and damage are handled.
#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string_view>

#include "codec_support.h"

namespace codectest {
namespace {

int32_t encode(const fs::path& wav, const fs::path& ogg, int level) {
  int16_t cancel = 0;
  return Lib().oggEncode(wav.c_str(), ogg.c_str(), 44100, level, nullptr, &cancel);
}
int32_t decode(const fs::path& ogg, const fs::path& wav) {
  int16_t cancel = 0;
  return Lib().oggDecode(ogg.c_str(), wav.c_str(), nullptr, &cancel);
}

void runTool(const std::string& command) {
  int status = 0;
  Shell(command, &status);
  EXPECT_EQ(status, 0) << command;
}

class OggLevel : public ::testing::TestWithParam<int> {};

// Vorbis gives back exactly as many samples as went in; the channels stay where they were.
TEST_P(OggLevel, RoundTripsWithExactLengthThroughEveryDecoder) {
  if (!HaveTool("oggdec") || !HaveTool("ffmpeg")) GTEST_SKIP() << "oggdec or ffmpeg not installed";
  TempDir dir;
  const Signal s{44100, 2, 3.3};
  const auto pcm = MakeSignal(s);
  WriteWav(dir / "in.wav", pcm, s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "out.ogg", GetParam()), SVC_OK);

  ASSERT_EQ(decode(dir / "out.ogg", dir / "ours.wav"), SVC_OK);
  runTool("oggdec -Q -o " + Quote(dir / "oggdec.wav") + " " + Quote(dir / "out.ogg"));
  runTool("ffmpeg -v error -y -i " + Quote(dir / "out.ogg") + " -c:a pcm_s16le " + Quote(dir / "ffmpeg.wav"));
  for (const char* name : {"ours.wav", "oggdec.wav", "ffmpeg.wav"}) {
    SCOPED_TRACE(name);
    const Wav w = ReadWav(dir / name);
    ASSERT_TRUE(w.valid);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.samples.size(), pcm.size());
  }
  const Wav ours = ReadWav(dir / "ours.wav");
  EXPECT_TRUE(ours.Truthful());
  EXPECT_EQ(ours.samples, ReadWav(dir / "oggdec.wav").samples);
  const double snr = Snr(pcm, ours.samples, 2);
  RecordProperty("snr_db", std::to_string(snr));
  EXPECT_GT(snr, 20.0);
  EXPECT_LT(Snr(pcm, SwapChannels(ours.samples), 2), 3.0);  // what a channel swap would give
}

// The comparison itself tells a right decode from the usual wrong ones: channels swapped,
// samples read with the wrong byte order, audio played at the wrong rate.
TEST(Ogg, SnrRejectsSwappedChannelsWrongByteOrderAndWrongRate) {
  TempDir dir;
  const Signal s{44100, 2, 3.0};
  const auto pcm = MakeSignal(s);
  WriteWav(dir / "in.wav", pcm, s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "out.ogg", 2), SVC_OK);
  ASSERT_EQ(decode(dir / "out.ogg", dir / "out.wav"), SVC_OK);
  const auto good = ReadWav(dir / "out.wav").samples;
  ASSERT_GT(Snr(pcm, good, 2), 12.0);
  EXPECT_LT(Snr(pcm, SwapChannels(good), 2), 3.0);
  auto swappedBytes = good;
  for (auto& v : swappedBytes) v = static_cast<int16_t>((uint16_t(v) >> 8) | (uint16_t(v) << 8));
  EXPECT_LT(Snr(pcm, swappedBytes, 2), 3.0);
  std::vector<int16_t> wrongRate;  // the 44.1 kHz samples played as if at 48 kHz
  for (size_t frame = 0; frame * 48000 / 44100 * 2 + 1 < good.size(); ++frame)
    for (int ch = 0; ch < 2; ++ch) wrongRate.push_back(good[frame * 48000 / 44100 * 2 + size_t(ch)]);
  EXPECT_LT(Snr(pcm, wrongRate, 2, 2048), 3.0);
}

INSTANTIATE_TEST_SUITE_P(PageLevels, OggLevel, ::testing::Values(0, 1, 2, 4, 5, 6, 8));

TEST(Ogg, HigherLevelsMakeLargerFilesAndTheCommentNamesTheEncoder) {
  TempDir dir;
  const Signal s{44100, 2, 3.0};
  WriteWav(dir / "in.wav", MakeSignal(s), s);
  uintmax_t last = 0;
  for (const int level : {-1, 0, 2, 4, 6, 8, 10}) {
    std::string name = std::to_string(level + 1);
    name.insert(0, 1, 'q');
    const fs::path out = dir / (name + ".ogg");
    ASSERT_EQ(encode(dir / "in.wav", out, level), SVC_OK) << level;
    EXPECT_GT(fs::file_size(out), last) << level;
    last = fs::file_size(out);
  }
  OggVorbis_File vf;
  ASSERT_EQ(ov_fopen((dir / "q5.ogg").c_str(), &vf), 0);
  const vorbis_comment* vc = ov_comment(&vf, -1);
  ASSERT_NE(vc, nullptr);
  const char* encoder = vorbis_comment_query(const_cast<vorbis_comment*>(vc), "ENCODER", 0);
  ASSERT_NE(encoder, nullptr);
  EXPECT_NE(std::strstr(encoder, "Sonvera"), nullptr);
  EXPECT_NEAR(ov_info(&vf, -1)->bitrate_nominal, 128000, 16000);  // level 4 at 44.1 kHz stereo
  ov_clear(&vf);
}

// The file keeps its source's rate and channels whatever the rate argument says.
TEST(Ogg, MonoAndFortyEightKilohertzSourcesKeepTheirOwnFormat) {
  TempDir dir;
  for (const Signal s : {Signal{48000, 2, 2.0}, Signal{44100, 1, 2.0}, Signal{22050, 1, 2.0}}) {
    SCOPED_TRACE(std::to_string(s.rate) + "/" + std::to_string(s.channels));
    const auto pcm = MakeSignal(s);
    WriteWav(dir / "in.wav", pcm, s);
    ASSERT_EQ(encode(dir / "in.wav", dir / "out.ogg", 4), SVC_OK);
    OggVorbis_File vf;
    ASSERT_EQ(ov_fopen((dir / "out.ogg").c_str(), &vf), 0);
    EXPECT_EQ(ov_info(&vf, -1)->rate, s.rate);
    EXPECT_EQ(ov_info(&vf, -1)->channels, s.channels);
    ov_clear(&vf);
    ASSERT_EQ(decode(dir / "out.ogg", dir / "back.wav"), SVC_OK);
    const Wav w = ReadWav(dir / "back.wav");
    EXPECT_EQ(w.rate, s.rate);
    EXPECT_EQ(w.channels, s.channels);
    EXPECT_EQ(w.samples.size(), pcm.size());
    EXPECT_GT(Snr(pcm, w.samples, s.channels), 20.0);
  }
}

// Fed the same samples, our encoder and oggenc make the same audio: only the serial number,
// the comment and so the page checksums differ.
TEST(Ogg, DecodesToTheSamePcmAsOggenc) {
  if (!HaveTool("oggenc")) GTEST_SKIP() << "oggenc not installed";
  TempDir dir;
  for (const Signal s : {Signal{44100, 2, 5.0}, Signal{48000, 1, 2.0}}) {
    WriteWav(dir / "in.wav", MakeSignal(s), s);
    for (const int level : {0, 2, 5, 8}) {
      SCOPED_TRACE(level);
      ASSERT_EQ(encode(dir / "in.wav", dir / "ours.ogg", level), SVC_OK);
      int status = 0;
      Shell("oggenc -Q -q " + std::to_string(level) + " -o " + Quote(dir / "ref.ogg") + " " +
                Quote(dir / "in.wav"),
            &status);
      ASSERT_EQ(status, 0);
      ASSERT_EQ(decode(dir / "ours.ogg", dir / "ours.wav"), SVC_OK);
      ASSERT_EQ(decode(dir / "ref.ogg", dir / "ref.wav"), SVC_OK);
      const Wav a = ReadWav(dir / "ours.wav"), b = ReadWav(dir / "ref.wav");
      EXPECT_EQ(a.samples.size(), b.samples.size());
      EXPECT_TRUE(a.samples == b.samples);
    }
  }
}

TEST(Ogg, ChainedFileDecodesEveryStream) {
  TempDir dir;
  const Signal a{44100, 2, 1.5}, b{44100, 2, 2.5};
  auto first = MakeSignal(a), second = MakeSignal(b);
  std::reverse(second.begin(), second.end());  // a different piece
  WriteWav(dir / "a.wav", first, a);
  WriteWav(dir / "b.wav", second, b);
  ASSERT_EQ(encode(dir / "a.wav", dir / "a.ogg", 3), SVC_OK);
  ASSERT_EQ(encode(dir / "b.wav", dir / "b.ogg", 3), SVC_OK);
  ASSERT_EQ(decode(dir / "a.ogg", dir / "a_back.wav"), SVC_OK);
  ASSERT_EQ(decode(dir / "b.ogg", dir / "b_back.wav"), SVC_OK);
  auto chain = ReadBytes(dir / "a.ogg");
  const auto tail = ReadBytes(dir / "b.ogg");
  chain.insert(chain.end(), tail.begin(), tail.end());
  WriteBytes(dir / "chain.ogg", chain);

  ASSERT_EQ(decode(dir / "chain.ogg", dir / "chain.wav"), SVC_OK);
  auto expected = ReadWav(dir / "a_back.wav").samples;
  const auto more = ReadWav(dir / "b_back.wav").samples;
  expected.insert(expected.end(), more.begin(), more.end());
  EXPECT_EQ(expected.size(), first.size() + second.size());
  EXPECT_TRUE(ReadWav(dir / "chain.wav").samples == expected);
}

// One WAV has one format: a chain whose rate changes ends where it changes, and says so.
TEST(Ogg, ChainThatChangesRateKeepsItsFirstPartAndSaysWhy) {
  TempDir dir;
  const Signal a{44100, 2, 1.5}, b{48000, 2, 1.0};
  const auto first = MakeSignal(a);
  WriteWav(dir / "a.wav", first, a);
  WriteWav(dir / "b.wav", MakeSignal(b), b);
  ASSERT_EQ(encode(dir / "a.wav", dir / "a.ogg", 3), SVC_OK);
  ASSERT_EQ(encode(dir / "b.wav", dir / "b.ogg", 3), SVC_OK);
  auto chain = ReadBytes(dir / "a.ogg");
  const auto tail = ReadBytes(dir / "b.ogg");
  chain.insert(chain.end(), tail.begin(), tail.end());
  WriteBytes(dir / "chain.ogg", chain);
  ASSERT_EQ(decode(dir / "chain.ogg", dir / "chain.wav"), SVC_E_SOURCE_FORMAT);
  const Wav w = ReadWav(dir / "chain.wav");
  EXPECT_TRUE(w.Truthful());
  EXPECT_EQ(w.rate, 44100);
  EXPECT_EQ(w.samples.size(), first.size());
}

// The three header packets without any audio: nothing to play, and the file was cut.
TEST(Ogg, HeaderOnlyFileGivesAnEmptyTruthfulWavAndIsDamaged) {
  TempDir dir;
  const Signal s{44100, 2, 2.0};
  WriteWav(dir / "in.wav", MakeSignal(s), s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "full.ogg", 2), SVC_OK);
  // Keep the pages up to the last one whose granule position is still 0.
  const auto bytes = ReadBytes(dir / "full.ogg");
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  std::memcpy(ogg_sync_buffer(&sync, long(bytes.size())), bytes.data(), bytes.size());
  ogg_sync_wrote(&sync, long(bytes.size()));
  size_t headerEnd = 0, offset = 0;
  ogg_page page;
  while (ogg_sync_pageout(&sync, &page) == 1) {
    offset += size_t(page.header_len + page.body_len);
    if (ogg_page_granulepos(&page) == 0) headerEnd = offset;
  }
  ogg_sync_clear(&sync);
  ASSERT_GT(headerEnd, 0u);
  std::ofstream(dir / "head.ogg", std::ios::binary).write(bytes.data(), std::streamsize(headerEnd));
  ASSERT_EQ(decode(dir / "head.ogg", dir / "head.wav"), SVC_E_DAMAGED);
  const Wav w = ReadWav(dir / "head.wav");
  EXPECT_TRUE(w.Truthful());
  EXPECT_EQ(w.Frames(), 0u);
}

// A page lost at the start of the audio leaves no gap in the page numbers; it must still be
// reported, and what is decoded must still be described truthfully.
TEST(Ogg, DamagedFirstAudioPageIsReported) {
  TempDir dir;
  const Signal s{44100, 2, 4.0};
  WriteWav(dir / "in.wav", MakeSignal(s), s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "full.ogg", 2), SVC_OK);
  auto bytes = ReadBytes(dir / "full.ogg");
  size_t firstAudio = 0;  // the first page with a granule position past 0
  for (size_t at = 0;
       (at = std::string_view(bytes.data(), bytes.size()).find("OggS", at)) != std::string_view::npos; ++at) {
    int64_t granule = 0;
    std::memcpy(&granule, bytes.data() + at + 6, 8);
    if (granule > 0) {
      firstAudio = at;
      break;
    }
  }
  ASSERT_GT(firstAudio, 0u);
  bytes[firstAudio + 200] ^= 0x55;  // the page's checksum no longer matches
  WriteBytes(dir / "hurt.ogg", bytes);
  ASSERT_EQ(decode(dir / "hurt.ogg", dir / "hurt.wav"), SVC_E_DAMAGED);
  const Wav w = ReadWav(dir / "hurt.wav");
  EXPECT_TRUE(w.Truthful());
  EXPECT_GT(w.Frames(), 0u);
}

// Bytes after the last page (a tag some tools append) are no damage; the audio is whole.
TEST(Ogg, JunkAfterTheLastPageIsNotDamage) {
  TempDir dir;
  const Signal s{44100, 2, 2.0};
  const auto pcm = MakeSignal(s);
  WriteWav(dir / "in.wav", pcm, s);
  ASSERT_EQ(encode(dir / "in.wav", dir / "tagged.ogg", 2), SVC_OK);
  auto bytes = ReadBytes(dir / "tagged.ogg");
  const std::string tag = "TAG a title written by some other program";
  bytes.insert(bytes.end(), tag.begin(), tag.end());
  WriteBytes(dir / "tagged.ogg", bytes);
  ASSERT_EQ(decode(dir / "tagged.ogg", dir / "tagged.wav"), SVC_OK);
  EXPECT_EQ(ReadWav(dir / "tagged.wav").samples.size(), pcm.size());
}

// Three and more channels come out in WAV's speaker order, with their speaker mask.
TEST(Ogg, SurroundFilesComeOutInWavSpeakerOrder) {
  if (!HaveTool("oggenc")) GTEST_SKIP() << "oggenc not installed";
  TempDir dir;
  const Signal s{44100, 6, 2.0};
  const auto pcm = MakeSignal(s);
  WriteWav(dir / "in.wav", pcm, s);
  int status = 0;
  Shell("oggenc -Q -q 6 -o " + Quote(dir / "six.ogg") + " " + Quote(dir / "in.wav"), &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(decode(dir / "six.ogg", dir / "six.wav"), SVC_OK);
  const Wav w = ReadWav(dir / "six.wav");
  EXPECT_EQ(w.channels, 6);
  EXPECT_EQ(w.formatTag, 0xFFFE);
  EXPECT_EQ(w.channelMask, 0x3Fu);
  ASSERT_EQ(w.samples.size(), pcm.size());
  // Every channel but the low-frequency one, which the encoder cuts to its band, matches its source.
  for (int ch : {0, 1, 2, 4, 5}) {
    std::vector<int16_t> a, b;
    for (size_t i = size_t(ch); i < pcm.size(); i += 6) {
      a.push_back(pcm[i]);
      b.push_back(w.samples[i]);
    }
    EXPECT_GT(Snr(a, b, 1), 10.0) << "channel " << ch;
  }
}

}  // namespace
}  // namespace codectest
