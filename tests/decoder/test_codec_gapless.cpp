// Gapless output through the exported calls: the length, play time and seeks a program sees
// agree with the trimmed PCM.
#include <gtest/gtest.h>

#include "decoder.h"
#include "layer3_support.h"

namespace {

using namespace l3_test;

Encoded Tagged(const Signal& source, vbr_mode vbr, int kbps) {
  EncodeOptions o;
  o.kbps = kbps;
  o.vbr = vbr;
  o.xing = true;
  return EncodeMp3(source, o);
}

// The play time as a program measures it: open, seek to the end, read the time.
double TotalTime(const fs::path& file, uint32_t* duration_ms) {
  EXPECT_EQ(CreateDecoder(), 0);
  RegisterInputModule();
  EXPECT_EQ(Mp3InputOpen(file.c_str()), 0);
  *duration_ms = svd::CurrentDecoder()->status.duration_ms;
  EXPECT_EQ(SeekToPosition(1.0f), 0);
  const double seconds = GetCurrentTimeSecond();
  Mp3InputClose();
  DeleteDecoder();
  return seconds;
}

TEST(GaplessExports, DurationAndPlayTimeAreTheSourcesLength) {
  const Signal source = Sweep(44100, 7.75, 2, 80, 9000);
  for (vbr_mode vbr : {vbr_off, vbr_default, vbr_abr}) {
    const Encoded mp3 = Tagged(source, vbr, 128);
    const fs::path file = Scratch("in" + std::to_string(static_cast<int>(vbr)) + ".mp3");
    Save(file, mp3.bytes);
    uint32_t duration = 0;
    EXPECT_EQ(TotalTime(file, &duration), 7.0) << "mode " << vbr;
    EXPECT_EQ(duration, 7750u) << "mode " << vbr;  // not the frames' 7.8 s and more

    // Decoded to the end, the time has come to the same.
    ASSERT_EQ(CreateDecoder(), 0);
    RegisterInputModule();
    RegisterOutputModule();
    ASSERT_EQ(Mp3InputOpen(file.c_str()), 0);
    ASSERT_EQ(WaveOutputOpen(("raw:" + file.string() + ".raw").c_str()), 0);
    int32_t r;
    while ((r = Mp3DecodePlay()) == 0) {
    }
    EXPECT_EQ(r, SVD_E_END_OF_INPUT);
    EXPECT_FLOAT_EQ(GetCurrentPosition(), 1.0f);
    EXPECT_EQ(GetCurrentTimeSecond(), 7.0);
    EXPECT_EQ(svd::CurrentDecoder()->status.duration_ms, 7750u);
    Mp3InputClose();
    WaveOutputClose();
    DeleteDecoder();
    EXPECT_EQ(Load(file.string() + ".raw").size(), source.pcm.size() * 2);
  }
}

// Decodes to the end after seeking to `seconds` (or not at all, when negative).
Signal DecodeFrom(const fs::path& file, float seconds) {
  const fs::path wav = file.string() + ".from.wav";
  EXPECT_EQ(CreateDecoder(), 0);
  RegisterInputModule();
  RegisterOutputModule();
  EXPECT_EQ(Mp3InputOpen(file.c_str()), 0);
  EXPECT_EQ(WaveOutputOpen(("wav:" + wav.string()).c_str()), 0);
  if (seconds >= 0) {
    EXPECT_EQ(SeekToTime(seconds), 0);
  }
  while (Mp3DecodePlay() == 0) {
  }
  Mp3InputClose();
  WaveOutputClose();
  DeleteDecoder();
  return ReadWav(wav);
}

TEST(GaplessExports, AfterASeekTheOutputEndsAsTheWholeDecodeEnds) {
  const Signal source = Sweep(44100, 6.0, 2, 80, 9000);
  const Encoded mp3 = Tagged(source, vbr_off, 128);
  const fs::path file = Scratch("cbr.mp3");
  Save(file, mp3.bytes);
  const Signal whole = DecodeFrom(file, -1.0f);
  ASSERT_EQ(whole.frames(), source.frames());
  for (float t : {0.0f, 1.5f, 4.0f}) {
    const Signal from = DecodeFrom(file, t);
    // What is left is the source after t, give or take the frame the seek landed in and the
    // seek table's grain (a 256th of the bytes: 23 ms here).
    const long expected = static_cast<long>(source.frames()) - static_cast<long>(t * 44100);
    EXPECT_NEAR(static_cast<double>(from.frames()), static_cast<double>(expected), 2 * 1152.0 + 1030.0) << t;
    // Past the first frames (reservoir and filters refilling) it is the whole decode's end,
    // trimmed the same.
    ASSERT_GT(from.frames(), 6u * 1152);
    const size_t tail = (from.frames() - 5 * 1152) * 2;
    EXPECT_TRUE(std::equal(from.pcm.end() - static_cast<long>(tail), from.pcm.end(),
                           whole.pcm.end() - static_cast<long>(tail)))
        << t;
  }
}

// A seek to a time reports that time back: the position is a share of the output's time,
// through the seek table both ways, so a program can measure a length from it.
TEST(GaplessExports, ASeekToATimeReportsThatTime) {
  struct Case {
    double seconds;
    vbr_mode vbr;
  };
  for (const Case c : {Case{0.5, vbr_off}, Case{3.0, vbr_default}, Case{3.0, vbr_abr}}) {
    const Encoded mp3 = Tagged(Sweep(44100, c.seconds, 2, 80, 9000), c.vbr, 128);
    const fs::path file = Scratch("in.mp3");
    Save(file, mp3.bytes);
    ASSERT_EQ(CreateDecoder(), 0);
    RegisterInputModule();
    ASSERT_EQ(Mp3InputOpen(file.c_str()), 0);
    const double length = svd::CurrentDecoder()->status.duration_ms / 1000.0;
    EXPECT_NEAR(length, c.seconds, 0.001);
    for (double t : {0.05, 0.2, 0.45, 1.7, 2.9}) {
      if (t >= c.seconds) continue;
      ASSERT_EQ(SeekToTime(static_cast<float>(t)), 0);
      EXPECT_NEAR(GetCurrentPosition() * length, t, 0.01 * length)
          << c.seconds << " s, mode " << c.vbr << ", " << t;
    }
    Mp3InputClose();
    DeleteDecoder();
  }
}

TEST(GaplessExports, StreamsWithoutTheEncodersTagKeepEveryAudioFrame) {
  const Signal source = Tones(32000, 2.0, {700.0});
  EncodeOptions o;
  o.kbps = 64;
  o.xing = true;
  Encoded mp3 = EncodeMp3(source, o);
  // Blank the encoder's name: a "Xing" header without the tag behind it.
  const size_t at = 4 + 17;  // MPEG-1 single channel
  ASSERT_EQ(std::string(mp3.bytes.begin() + at, mp3.bytes.begin() + at + 4), "Info");
  const size_t lame = at + 8 + 4 + 4 + 100 + 4;
  ASSERT_EQ(std::string(mp3.bytes.begin() + static_cast<long>(lame),
                        mp3.bytes.begin() + static_cast<long>(lame) + 4),
            "LAME");
  std::fill_n(mp3.bytes.begin() + static_cast<long>(lame), 9, 0);
  const fs::path file = Scratch("untagged.mp3");
  Save(file, mp3.bytes);
  const Decoded d = DecodeThroughExports(file);
  EXPECT_EQ(d.out.frames(), static_cast<size_t>(d.frames) * 1152);  // no trimming
  EXPECT_GT(d.out.frames(), source.frames());
  // Only the header frame is left out: its count of frames is what comes out.
  uint32_t duration = 0;
  TotalTime(file, &duration);
  EXPECT_EQ(duration, static_cast<uint32_t>(d.frames * 1152 * 1000 / 32000));
}

}  // namespace
