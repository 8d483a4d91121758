// The conversion jobs without a window, as a command-line tool runs them: the real steps
// (svdecode, svencode, the codec libraries), questions answered by script.
#include "convert/core/conversion_steps.h"
#include "convert/core/outside_codecs.h"
#include "convert/core/step_texts.h"
#include "recording_job.h"

#include <lame/lame.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace jobtest;
using sv::jobs::JobRunner;
using sv::jobs::RowOutcome;

constexpr int kRate = 44100;

std::vector<short> tone(int frames) {
  std::vector<short> pcm(2 * static_cast<std::size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    pcm[2 * i] = static_cast<short>(9000 * std::sin(2 * M_PI * 440.0 * i / kRate));
    pcm[2 * i + 1] = static_cast<short>(7000 * std::sin(2 * M_PI * 660.0 * i / kRate));
  }
  return pcm;
}

QByteArray wav(const std::vector<short>& pcm) {
  const auto bytes = static_cast<std::uint32_t>(pcm.size() * 2);
  QByteArray out("RIFF");
  auto le32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.append(static_cast<char>(v >> (8 * i)));
  };
  auto le16 = [&](std::uint16_t v) {
    out.append(static_cast<char>(v));
    out.append(static_cast<char>(v >> 8));
  };
  le32(36 + bytes);
  out.append("WAVEfmt ");
  le32(16);
  le16(1);
  le16(2);
  le32(kRate);
  le32(kRate * 4);
  le16(4);
  le16(16);
  out.append("data");
  le32(bytes);
  out.append(reinterpret_cast<const char*>(pcm.data()), static_cast<qsizetype>(bytes));
  return out;
}

QByteArray mp3(const std::vector<short>& pcm) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, kRate);
  lame_set_num_channels(lame, 2);
  lame_set_brate(lame, 128);
  lame_set_quality(lame, 7);
  lame_init_params(lame);
  const int frames = static_cast<int>(pcm.size() / 2);
  std::vector<unsigned char> out(static_cast<std::size_t>(1.25 * frames + 7200 + 16384));
  int n = lame_encode_buffer_interleaved(lame, const_cast<short*>(pcm.data()), frames, out.data(),
                                         static_cast<int>(out.size()));
  n += lame_encode_flush(lame, out.data() + n, static_cast<int>(out.size()) - n);
  lame_close(lame);
  return QByteArray(reinterpret_cast<const char*>(out.data()), n);
}

class HeadlessConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    sv::AddMusicToWaveSteps(steps_);
    sv::AddWaveToCompressedSteps(steps_, [] { return sv::WaveToAllOptions{}; });
    sv::CancelConvert = 0;
  }
  QString path(const QString& name) const { return dir_.path() + "/" + name; }
  void run() {
    JobRunner job(rows_, steps_, sink_, questions_);
    job.Load();
    job.Run();
  }

  QTemporaryDir dir_;
  sv::jobs::StepTable steps_;
  ListRows rows_;
  RecordingSink sink_;
  ScriptedQuestions questions_;
};

TEST_F(HeadlessConversion, Mp3ToWavAndWavToMp3RunWithoutAWindow) {
  const auto pcm = tone(kRate);
  WriteAll(path("song.mp3"), mp3(pcm));
  WriteAll(path("take.wav"), wav(pcm));
  rows_.rows = {{"MP3->WAV", path("song.mp3"), path("song.WAV")},
                {"WAV->MP3", path("take.wav"), path("take.MP3")}};
  run();
  ASSERT_EQ(sink_.results.size(), 2u);
  EXPECT_EQ(sink_.results[0].outcome, RowOutcome::Done) << sink_.results[0].reason.toStdString();
  EXPECT_EQ(sink_.results[1].outcome, RowOutcome::Done) << sink_.results[1].reason.toStdString();
  const QByteArray decoded = ReadAll(path("song.WAV"));
  ASSERT_GT(decoded.size(), 44 + kRate * 4 / 2);
  EXPECT_TRUE(decoded.startsWith("RIFF"));
  const QByteArray encoded = ReadAll(path("take.MP3"));
  ASSERT_GT(encoded.size(), 10000);
  EXPECT_EQ(static_cast<unsigned char>(encoded[0]), 0xFF) << "an MPEG frame starts the file";
  EXPECT_EQ(sink_.status, "Finish Converting!");
  EXPECT_TRUE(questions_.asked.isEmpty());
  EXPECT_EQ(sink_.total.back(), 100);
}

TEST_F(HeadlessConversion, RowsThatProduceNothingLeaveNoFileBehind) {
  WriteAll(path("empty.mp3"), QByteArray());
  WriteAll(path("silent.wav"), wav({}));
  rows_.rows = {{"MP3->WAV", path("empty.mp3"), path("empty.WAV")},
                {"WAV->MP3", path("silent.wav"), path("silent.MP3")}};
  run();
  ASSERT_EQ(sink_.results.size(), 2u);
  EXPECT_EQ(sink_.results[0].reason, sv::kNoAudioError);
  EXPECT_EQ(sink_.results[1].reason, sv::kNoSamplesText);
  EXPECT_FALSE(QFile::exists(path("empty.WAV"))) << "no header-only WAV";
  EXPECT_FALSE(QFile::exists(path("silent.MP3"))) << "no empty MP3";
  EXPECT_EQ(sink_.status, "Finish Converting! 2 files not converted.");
}

TEST_F(HeadlessConversion, AStopAnsweredByScriptKeepsThePartialFile) {
  const auto pcm = tone(10 * kRate);
  WriteAll(path("long.wav"), wav(pcm));
  rows_.rows = {{"WAV->MP3", path("long.wav"), path("long.MP3")}};
  questions_.stopAnswers = {true};
  JobRunner job(rows_, steps_, sink_, questions_);
  job.Load();
  sink_.onYield = [&] {
    if (sink_.yields == 20) job.Cancel();
  };
  job.Run();
  EXPECT_TRUE(sink_.closed);
  ASSERT_EQ(sink_.results.size(), 1u);
  EXPECT_EQ(sink_.results[0].outcome, RowOutcome::Stopped);
  const QByteArray part = ReadAll(path("long.MP3"));
  EXPECT_GT(part.size(), 1000);
  EXPECT_LT(part.size(), 10 * 16000) << "less than ten seconds at 128 kbit/s";
  sv::CancelConvert = 0;
}

TEST_F(HeadlessConversion, AMissingCodecLibraryIsToldOnceAndItsRowsFail) {
  sv::codecs::SetLibraryName("svogg", "/nonexistent/libsvogg.so");
  WriteAll(path("a.ogg"), "x");
  rows_.rows = {{"OGG->WAV", path("a.ogg"), path("a.WAV")}, {"OGG->WAV", path("a.ogg"), path("b.WAV")}};
  run();
  ASSERT_EQ(questions_.told.size(), 1);
  EXPECT_TRUE(questions_.told[0].contains("codec library svogg is not installed"));
  EXPECT_TRUE(questions_.told[0].contains("Error#53,File not found")) << questions_.told[0].toStdString();
  ASSERT_EQ(sink_.results.size(), 2u);
  EXPECT_EQ(sink_.results[1].reason, "codec library svogg is not installed");
}

}  // namespace

namespace {

// The codec libraries themselves (not stand-ins), through the same job: WAV to each format
// and back.
TEST_F(HeadlessConversion, TheCodecLibrariesConvertBothWays) {
  for (const char* name : {"svogg", "svvqf", "svwma"}) sv::codecs::SetLibraryName(name, name);
  const auto pcm = tone(3 * kRate);
  WriteAll(path("take.wav"), wav(pcm));
  for (const char* format : {"OGG", "VQF", "WMA"}) {
    const QString encoded = path(QStringLiteral("take.%1").arg(format));
    rows_.rows.push_back({QStringLiteral("WAV->%1").arg(format), path("take.wav"), encoded});
    rows_.rows.push_back(
        {QStringLiteral("%1->WAV").arg(format), encoded, path(QStringLiteral("back-%1.WAV").arg(format))});
  }
  run();
  ASSERT_EQ(sink_.results.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i)
    EXPECT_EQ(sink_.results[i].outcome, RowOutcome::Done)
        << rows_.rows[i].type.toStdString() << ": " << sink_.results[i].reason.toStdString();
  for (const char* format : {"OGG", "VQF", "WMA"}) {
    const QByteArray back = ReadAll(path(QStringLiteral("back-%1.WAV").arg(format)));
    EXPECT_TRUE(back.startsWith("RIFF")) << format;
    EXPECT_GT(back.size(), kRate * 4) << format << ": at least a second of sound came back";
  }
  EXPECT_TRUE(questions_.told.isEmpty());
  EXPECT_EQ(sink_.status, "Finish Converting!");
}

}  // namespace
