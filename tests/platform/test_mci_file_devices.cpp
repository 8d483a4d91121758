// The waveaudio and mpegvideo devices through command strings, on the silent sink.
#include "platform/events.h"
#include "platform/library_loader.h"
#include "platform/mci.h"
#include "platform/mci_file_devices.h"
#include "platform/pcm_output.h"
#include "platform/stream_length.h"
#include "test_media.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

using namespace sv;
using namespace sv::mci;

QString ask(const QString& command) {
  QString reply;
  const int e = mciSendString(command, &reply);
  return e == 0 ? reply : QStringLiteral("error %1").arg(e);
}

qint64 number(const QString& command) { return ask(command).toLongLong(); }

class FileDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    PcmOutput::ForceSilent(true);
    RegisterFileDevices();
  }
  void TearDown() override {
    mciSendString(QStringLiteral("close all"));
    PcmOutput::ForceSilent(false);
  }
  QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
  QString open(const QString& file, const QString& alias, const QString& type) {
    return ask(QStringLiteral("open ") + QuoteName(file) + QStringLiteral(" alias ") + alias +
               QStringLiteral(" type ") + type + QStringLiteral(" wait"));
  }
  QTemporaryDir dir_;
};

TEST_F(FileDevices, WaveLengthModeAndPositionWhilePlaying) {
  media::WriteWav(path("a.wav"), 2.5, 22050, 1);
  ASSERT_EQ(open(path("a.wav"), "w1", "waveaudio"), "1");
  EXPECT_EQ(ask("status w1 length"), "2500");
  EXPECT_EQ(ask("status w1 mode"), "stopped");
  EXPECT_EQ(ask("status w1 position"), "0");
  EXPECT_EQ(ask("status w1 time format"), "milliseconds");
  EXPECT_EQ(ask("status w1 samplespersec"), "22050");

  EXPECT_EQ(ask("play w1"), "");
  media::RunEventsFor(300);
  EXPECT_EQ(ask("status w1 mode"), "playing");
  const qint64 p = number("status w1 position");
  EXPECT_GT(p, 100);
  EXPECT_LT(p, 2500);

  // Play again while playing goes on from where it is.
  EXPECT_EQ(ask("play w1"), "");
  EXPECT_GE(number("status w1 position"), p);

  EXPECT_EQ(ask("pause w1"), "");
  EXPECT_EQ(ask("status w1 mode"), "paused");
  const qint64 held = number("status w1 position");
  media::RunEventsFor(150);
  EXPECT_EQ(number("status w1 position"), held);
  EXPECT_EQ(ask("resume w1"), "");
  EXPECT_EQ(ask("status w1 mode"), "playing");

  EXPECT_EQ(ask("stop w1"), "");
  EXPECT_EQ(ask("status w1 mode"), "stopped");
  const qint64 stopped = number("status w1 position");
  EXPECT_GE(stopped, held);
  media::RunEventsFor(100);
  EXPECT_EQ(number("status w1 position"), stopped) << "stop keeps the position";
}

TEST_F(FileDevices, SeekAndPlayRangesEndWhereAsked) {
  media::WriteWav(path("b.wav"), 1.0, 8000, 2);
  ASSERT_EQ(open(path("b.wav"), "w2", "waveaudio"), "1");
  EXPECT_EQ(ask("seek w2 to 600"), "");
  EXPECT_EQ(ask("status w2 position"), "600");
  EXPECT_EQ(ask("seek w2 to 1001"), "error 282");
  EXPECT_EQ(ask("seek w2 to end"), "");
  EXPECT_EQ(ask("status w2 position"), "1000");
  // At the end a play has nothing left to play.
  EXPECT_EQ(ask("play w2"), "");
  EXPECT_EQ(ask("status w2 mode"), "stopped");

  EXPECT_EQ(ask("play w2 from 100 to 300 wait"), "");
  EXPECT_EQ(ask("status w2 mode"), "stopped");
  EXPECT_EQ(ask("status w2 position"), "300");
  EXPECT_EQ(ask("seek w2 to start"), "");
  EXPECT_EQ(ask("play w2 wait"), "");
  EXPECT_EQ(ask("status w2 position"), "1000");
  EXPECT_EQ(ask("play w2 from 900 to 100"), "error 282");
  EXPECT_EQ(ask("play w2 from soon"), "error 270");
  EXPECT_EQ(ask("set w2 time format milliseconds"), "");
  EXPECT_EQ(ask("set w2 time format tmsf"), "error 293");
  EXPECT_EQ(ask("status w2 colour"), "error 259");
  EXPECT_EQ(ask("record w2"), "error 274");
}

TEST_F(FileDevices, WaveFilesThatCannotPlayStillOpenOrFailClearly) {
  EXPECT_EQ(open(path("missing.wav"), "m", "waveaudio"), "error 275");
  media::WriteAll(path("text.wav"), "this is not a wave file at all, only text");
  EXPECT_EQ(open(path("text.wav"), "t", "waveaudio"), "error 296");
  EXPECT_FALSE(IsOpen("t"));

  // A header claiming more data than the file holds: the bytes present count.
  media::WriteWav(path("cut.wav"), 1.0, 8000, 1);
  QByteArray bytes = media::ReadAll(path("cut.wav"));
  bytes.truncate(44 + 8000);  // 16-bit mono at 8000 Hz: half a second
  media::WriteAll(path("cut.wav"), bytes);
  ASSERT_EQ(open(path("cut.wav"), "c", "waveaudio"), "1");
  EXPECT_EQ(ask("status c length"), "500");
}

TEST_F(FileDevices, UnsupportedDeviceTypesGiveTheInterpretersError) {
  media::WriteAll(path("clip.avi"), "RIFF");
  media::WriteAll(path("song.mid"), "MThd");
  const int avi = mciSendString("open " + path("clip.avi") + " alias v type avivideo wait");
  const int mid = mciSendString("open " + path("song.mid") + " alias s type sequencer wait");
  EXPECT_EQ(avi, kInvalidDeviceName);
  EXPECT_EQ(mid, kInvalidDeviceName);
  EXPECT_FALSE(mciGetErrorString(avi).isEmpty());
}

TEST_F(FileDevices, NamesWithBlanksQuotesAndKeywordsReachTheDevice) {
  ASSERT_TRUE(QDir().mkpath(path("My Music")));
  const QString tricky = path("My Music/take \"two\" alias x type cdaudio.wav");
  media::WriteWav(tricky, 0.5, 8000, 1);
  EXPECT_EQ(QuoteName("/plain/path.wav"), "/plain/path.wav");
  EXPECT_EQ(QuoteName("/My Music/a.wav"), "\"/My Music/a.wav\"");
  ASSERT_EQ(open(tricky, "q1", "waveaudio"), "1");
  EXPECT_EQ(ask("status q1 length"), "500");
  EXPECT_FALSE(IsOpen("x"));
  // A quote that is never closed is refused, not guessed at.
  EXPECT_EQ(ask("open \"/My Music/a.wav alias z type waveaudio"), "error 294");
}

// --- mpegvideo -----------------------------------------------------------------------------

class MpegDevice : public FileDevices {
 protected:
  static void expectNear(double seconds, double truth, int rate = 44100) {
    EXPECT_TRUE(media::NearTrueLength(seconds, truth, rate)) << seconds << " s for " << truth << " s";
  }
};

TEST_F(MpegDevice, LengthOfCbrVbrAndMpeg2Files) {
  struct Case {
    const char* name;
    media::Mp3Options options;
    double seconds;
  } cases[] = {
      {"cbr.mp3", {44100, 2, 128, false, true}, 6.3},
      {"vbr.mp3", {44100, 2, 128, true, true}, 7.7},
      {"mpeg2.mp3", {22050, 1, 64, false, true}, 4.45},
      {"plain.mp3", {44100, 2, 160, false, false}, 3.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray mp3 = media::EncodeMp3(c.seconds, c.options);
    media::WriteAll(path(c.name), mp3);
    ASSERT_EQ(open(path(c.name), "m", "mpegvideo"), "1");
    expectNear(number("status m length") / 1000.0, media::DecodedSeconds(mp3, c.seconds),
               c.options.sampleRate);
    EXPECT_EQ(ask("status m samplespersec"), QString::number(c.options.sampleRate));
    EXPECT_EQ(ask("status m channels"), QString::number(c.options.channels));
    ask("close m");
  }
}

TEST_F(MpegDevice, PlaysToTheEndWhileTheProgramsOwnDecoderIsUsed) {
  media::WriteAll(path("tune.mp3"), media::EncodeMp3(1.2));
  const QByteArray other = media::EncodeMp3(3.0, {22050, 1, 32, false, true});
  media::WriteAll(path("other.mp3"), other);
  ASSERT_EQ(open(path("tune.mp3"), "tune", "mpegvideo"), "1");
  const qint64 length = number("status tune length");
  EXPECT_EQ(ask("play tune"), "");
  media::RunEventsFor(200);
  EXPECT_EQ(ask("status tune mode"), "playing");

  // The program's own copy of the library, as the MP3 information class uses it.
  SharedLibrary lib("svdecode");
  auto create = lib.function<std::int32_t (*)()>("CreateDecoder");
  auto destroy = lib.function<std::int32_t (*)()>("DeleteDecoder");
  auto input = lib.function<std::int32_t (*)()>("RegisterInputModule");
  auto openFile = lib.function<std::int32_t (*)(const char*)>("Mp3InputOpen");
  auto closeFile = lib.function<std::int32_t (*)()>("Mp3InputClose");
  DecoderClock clock{lib.function<std::int32_t (*)(float)>("SeekToPosition"),
                     lib.function<std::int32_t (*)(float)>("SeekToTime"),
                     lib.function<double (*)()>("GetCurrentTimeSecond"),
                     lib.function<float (*)()>("GetCurrentPosition")};
  ASSERT_EQ(create(), 0);
  input();
  ASSERT_EQ(openFile(QFile::encodeName(path("other.mp3")).constData()), 0);
  expectNear(StreamSeconds(clock), media::DecodedSeconds(other, 3.0), 22050);
  closeFile();
  destroy();

  EXPECT_EQ(ask("status tune mode"), "playing");
  EXPECT_EQ(ask("play tune wait"), "");
  EXPECT_EQ(ask("status tune mode"), "stopped");
  EXPECT_EQ(number("status tune position"), length);

  // Played again from the middle, the decoder seeks.
  EXPECT_EQ(ask("play tune from 600 wait"), "");
  EXPECT_EQ(number("status tune position"), length);
}

TEST_F(MpegDevice, TwoFilesAtOnceAndBadFiles) {
  media::WriteAll(path("a.mp3"), media::EncodeMp3(0.8));
  media::WriteAll(path("b.mp3"), media::EncodeMp3(2.0, {24000, 2, 64, false, true}));
  ASSERT_EQ(open(path("a.mp3"), "a", "mpegvideo"), "1");
  ASSERT_EQ(open(path("b.mp3"), "b", "mpegvideo"), "1");
  EXPECT_EQ(ask("play a"), "");
  EXPECT_EQ(ask("play b"), "");
  media::RunEventsFor(150);
  EXPECT_EQ(ask("status a mode"), "playing");
  EXPECT_EQ(ask("status b mode"), "playing");
  EXPECT_EQ(ask("play a wait"), "");
  EXPECT_EQ(ask("status b mode"), "playing");
  EXPECT_EQ(ask("close a"), "");
  EXPECT_EQ(ask("stop b"), "");

  media::WriteAll(path("noise.mp3"), QByteArray(4000, '\0'));
  EXPECT_EQ(open(path("noise.mp3"), "n", "mpegvideo"), "error 296");
  EXPECT_EQ(open(path("gone.mp3"), "g", "mpegvideo"), "error 275");
  ASSERT_EQ(open(path("a.mp3"), "a2", "mpegvideo"), "1");
}

TEST_F(MpegDevice, AnyNumberOfFilesPlayAtOnceEachAtItsOwnPlace) {
  media::WriteAll(path("long.mp3"), media::EncodeMp3(3.0));
  media::WriteAll(path("mono.mp3"), media::EncodeMp3(2.0, {22050, 1, 64, false, true}));
  constexpr int kDevices = 8;
  for (int d = 0; d < kDevices; ++d) {
    const QString alias = QStringLiteral("d%1").arg(d);
    ASSERT_EQ(open(path(d % 2 ? "mono.mp3" : "long.mp3"), alias, "mpegvideo"), "1") << d;
    EXPECT_EQ(ask("play " + alias + " from " + QString::number(100 * d)), "");
  }
  media::RunEventsFor(300);
  for (int d = 0; d < kDevices; ++d) {
    const QString alias = QStringLiteral("d%1").arg(d);
    EXPECT_EQ(ask("status " + alias + " mode"), "playing") << d;
    EXPECT_GE(number("status " + alias + " position"), 100 * d + 200) << d;
  }
  EXPECT_EQ(ask("play d1 wait"), "");
  EXPECT_EQ(number("status d1 position"), number("status d1 length"));
  EXPECT_EQ(ask("status d0 mode"), "playing");
}

// --- the stream length -------------------------------------------------------------------

// A decoder clock over a stream of `seconds` whose positions are byte fractions that a
// time-to-byte curve maps, as a VBR table does.
struct FakeStream {
  double seconds;
  bool curved;
  float at = 0;
  float byteFraction(float p) const { return curved ? p * p : p; }
  DecoderClock clock() {
    return DecoderClock{[this](float p) {
                          at = byteFraction(p);
                          return 0;
                        },
                        [this](float t) {
                          at = byteFraction(std::min(1.0f, static_cast<float>(t / seconds)));
                          return 0;
                        },
                        [this] { return std::floor(seconds * at); }, [this] { return at; }};
  }
};

TEST(StreamLength, FindsTheFractionOfTheLastSecond) {
  for (bool curved : {false, true}) {
    FakeStream s{183.427, curved};
    EXPECT_NEAR(StreamSeconds(s.clock()), 183.427, 0.001);
  }
  FakeStream shortOne{0.6, false};
  EXPECT_NEAR(StreamSeconds(shortOne.clock()), 0.6, 0.001);
  DecoderClock cannotSeek{[](float) { return -1; }, [](float) { return -1; }, [] { return 5.0; },
                          [] { return 1.0f; }};
  EXPECT_EQ(StreamSeconds(cannotSeek), 0.0);
}

}  // namespace
