#include "platform/mci.h"
#include "platform/mci_cdaudio.h"
#include "platform/pcm_output.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

#include "disc_images.h"

namespace {

using namespace sv;
using namespace sv::mci;
using namespace sv::discs;

// Runs the event loop until cond holds or the time is up; the result is cond's last value.
bool waitFor(const std::function<bool()>& cond, int ms = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!cond()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

QString ask(const QString& command) {
  QString reply;
  const int code = mciSendString(command, &reply);
  return code == 0 ? reply : QStringLiteral("error %1").arg(code);
}

class CdAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    folder = dir.path().toStdString();
    qputenv("SONVERA_DISC_DIR", dir.path().toUtf8());
    PcmOutput::ForceSilent(true);
    RegisterCdAudioDevice();
  }
  void TearDown() override {
    mciSendString("close all");
    PcmOutput::ForceSilent(false);
  }

  int open(const DiscImage& image) {
    return mciSendString(QStringLiteral("open \"%1\" type cdaudio alias cd wait shareable")
                             .arg(QString::fromStdString(image.sheet.string())));
  }

  QTemporaryDir dir;
  std::filesystem::path folder;
};

TEST_F(CdAudio, AnswersTheStatusQueriesInTheirTextualForms) {
  DiscSpec spec = AudioDisc("three", {75 * 61 + 10, 75 * 2 + 3});
  spec.tracks.push_back(DataTrack(750));
  const DiscImage image = WriteCueBin(folder, spec);
  ASSERT_EQ(open(image), 0);
  EXPECT_EQ(ask("status cd time format"), "msf");
  EXPECT_EQ(mciSendString("set cd time format tmsf wait"), 0);
  EXPECT_EQ(ask("status cd time format"), "tmsf");
  EXPECT_EQ(ask("status cd media present"), "true");
  EXPECT_EQ(ask("status cd ready"), "true");
  EXPECT_EQ(ask("status cd mode"), "stopped");
  EXPECT_EQ(ask("status cd number of tracks wait"), "3");
  EXPECT_EQ(ask("status cd length track 1"), "01:01:10");
  EXPECT_EQ(ask("status cd length track 2"), "00:02:03");
  EXPECT_EQ(ask("status cd length track 3"), "00:10:00");
  EXPECT_EQ(ask("status cd length wait"), Msf(image.totalFrames - image.start(1)).c_str());
  EXPECT_EQ(ask("status cd type track 1"), "audio");
  EXPECT_EQ(ask("status cd type track 3"), "other");
  EXPECT_EQ(ask("status cd position"), "01:00:00:00");
  EXPECT_EQ(ask("status cd position track 2"), "02:00:00:00");
  EXPECT_EQ(ask("status cd current track"), "1");
  EXPECT_EQ(ask("status cd length track 4"), QStringLiteral("error %1").arg(kOutOfRange));
  EXPECT_EQ(ask("status cd length track x"), QStringLiteral("error %1").arg(kBadInteger));
  EXPECT_EQ(ask("status cd colour"), QStringLiteral("error %1").arg(kUnrecognizedKeyword));

  // Other time formats: absolute positions from the disc's start, two seconds before LBA 0.
  EXPECT_EQ(mciSendString("set cd time format msf"), 0);
  EXPECT_EQ(ask("status cd position"), "00:04:00");  // track 1 after its pregap, LBA 150
  EXPECT_EQ(ask("status cd length track 2"), "00:02:03");
  EXPECT_EQ(mciSendString("set cd time format milliseconds"), 0);
  EXPECT_EQ(ask("status cd position"), "4000");
  EXPECT_EQ(ask("status cd length track 2"), "2040");
  EXPECT_EQ(mciSendString("set cd time format hours"), kBadTimeFormat);
  EXPECT_EQ(ask("capability cd can eject"), "true");
  EXPECT_EQ(ask("capability cd device type"), "cdaudio");
  EXPECT_EQ(ask("info cd product"), "CD Audio");
  EXPECT_EQ(ask("info cd identity"), "Disc image: three.cue");
}

TEST_F(CdAudio, OpensOnlyListedDrives) {
  EXPECT_EQ(mciSendString("open type cdaudio alias cd wait shareable"), kInvalidDeviceName);
  EXPECT_EQ(mciSendString("open /nowhere/disc.cue type cdaudio alias cd"), kInvalidDeviceName);
  EXPECT_FALSE(IsOpen("cd"));
  const DiscImage image = WriteCueBin(folder, AudioDisc("only", {100}));
  // No drive named: the first of the list.
  ASSERT_EQ(mciSendString("open cdaudio"), 0);
  EXPECT_EQ(ask("status cdaudio number of tracks"), "1");
  ASSERT_EQ(mciSendString("close cdaudio"), 0);
  EXPECT_EQ(open(image), 0);
}

TEST_F(CdAudio, SeeksByTrackAndRefusesPlacesOffTheDisc) {
  const DiscImage image = WriteCueBin(folder, AudioDisc("seek", {300, 300, 300}));
  ASSERT_EQ(open(image), 0);
  ASSERT_EQ(mciSendString("set cd time format tmsf wait"), 0);
  EXPECT_EQ(mciSendString("seek cd to 2"), 0);
  EXPECT_EQ(ask("status cd position"), "02:00:00:00");
  EXPECT_EQ(ask("status cd current track"), "2");
  EXPECT_EQ(mciSendString("seek cd to 03:00:01:05"), 0);
  EXPECT_EQ(ask("status cd position"), "03:00:01:05");
  EXPECT_EQ(mciSendString("seek cd to 4"), kOutOfRange);
  EXPECT_EQ(mciSendString("seek cd to start"), 0);
  EXPECT_EQ(ask("status cd position"), "01:00:00:00");
  EXPECT_EQ(mciSendString("seek cd"), kMissingParameter);
}

TEST_F(CdAudio, PlaysOnIntoTheNextTrackAndStopsAtTheEnd) {
  // Track 1 lasts 0.4 s, track 2 one second.
  const DiscImage image = WriteCueBin(folder, AudioDisc("short", {30, 75}));
  ASSERT_EQ(open(image), 0);
  ASSERT_EQ(mciSendString("set cd time format tmsf wait"), 0);
  ASSERT_EQ(mciSendString("seek cd to 1"), 0);
  ASSERT_EQ(mciSendString("play cd"), 0);
  EXPECT_EQ(ask("status cd mode"), "playing");
  EXPECT_TRUE(waitFor([] { return ask("status cd position").startsWith(QLatin1String("02:")); }))
      << ask("status cd position").toStdString();
  EXPECT_EQ(ask("status cd mode"), "playing");
  EXPECT_EQ(ask("status cd current track"), "2");
  EXPECT_TRUE(waitFor([] { return ask("status cd mode") == QLatin1String("stopped"); }));
  EXPECT_EQ(ask("status cd position"), "02:00:01:00");  // the lead-out, one second into track 2
}

TEST_F(CdAudio, StopPauseAndResumeHoldThePosition) {
  const DiscImage image = WriteCueBin(folder, AudioDisc("long", {75 * 60}));
  ASSERT_EQ(open(image), 0);
  ASSERT_EQ(mciSendString("set cd time format tmsf wait"), 0);
  ASSERT_EQ(mciSendString("play cd"), 0);
  ASSERT_TRUE(waitFor([] { return ask("status cd position") >= QLatin1String("01:00:00:20"); }));
  ASSERT_EQ(mciSendString("pause cd"), 0);
  EXPECT_EQ(ask("status cd mode"), "paused");
  const QString held = ask("status cd position");
  QThread::msleep(150);
  QCoreApplication::processEvents();
  EXPECT_EQ(ask("status cd position"), held);
  ASSERT_EQ(mciSendString("resume cd"), 0);
  EXPECT_EQ(ask("status cd mode"), "playing");
  ASSERT_EQ(mciSendString("stop cd"), 0);
  EXPECT_EQ(ask("status cd mode"), "stopped");
  const QString stopped = ask("status cd position");
  EXPECT_GE(stopped, held);
  QThread::msleep(100);
  QCoreApplication::processEvents();
  EXPECT_EQ(ask("status cd position"), stopped);
}

TEST_F(CdAudio, PlaybackPassesOverADataTrack) {
  DiscSpec spec = AudioDisc("mixed", {30});
  spec.tracks.push_back(DataTrack(600));
  spec.tracks.push_back(Track(40));
  const DiscImage image = WriteCueBin(folder, spec);
  ASSERT_EQ(open(image), 0);
  ASSERT_EQ(mciSendString("set cd time format tmsf wait"), 0);
  ASSERT_EQ(mciSendString("play cd"), 0);
  // 0.4 s of track 1, then track 3: the 8 seconds of data are never played.
  EXPECT_TRUE(waitFor([] { return ask("status cd position").startsWith(QLatin1String("03:")); }, 5000));
  EXPECT_TRUE(waitFor([] { return ask("status cd mode") == QLatin1String("stopped"); }, 5000));
}

TEST_F(CdAudio, AnEjectedImageHasNoDiscUntilOpenedAgain) {
  const DiscImage image = WriteCueBin(folder, AudioDisc("eject", {75 * 30}));
  ASSERT_EQ(open(image), 0);
  ASSERT_EQ(mciSendString("play cd"), 0);
  ASSERT_EQ(mciSendString("set cd door open"), 0);
  EXPECT_EQ(ask("status cd media present"), "false");
  EXPECT_EQ(ask("status cd mode"), "open");
  EXPECT_EQ(ask("status cd number of tracks"), QStringLiteral("error %1").arg(kDeviceNotReady));
  EXPECT_EQ(mciSendString("play cd"), kDeviceNotReady);
  QThread::msleep(400);  // the watcher does not bring it back
  EXPECT_EQ(ask("status cd media present"), "false");
  ASSERT_EQ(mciSendString("close cd"), 0);
  ASSERT_EQ(open(image), 0);
  EXPECT_EQ(ask("status cd media present"), "true");
  ASSERT_EQ(mciSendString("set cd door open"), 0);
  ASSERT_EQ(mciSendString("set cd door closed"), 0);
  EXPECT_EQ(ask("status cd media present"), "true");
}

TEST_F(CdAudio, AnImageGoingAndComingIsSeenWithinASecond) {
  DiscImage image = WriteCueBin(folder, AudioDisc("comes", {300}));
  ASSERT_EQ(open(image), 0);
  ASSERT_EQ(mciSendString("set cd time format tmsf"), 0);
  RemoveImage(image);
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(waitFor([] { return ask("status cd media present") == QLatin1String("false"); }, 1000));
  EXPECT_EQ(ask("status cd mode"), "not ready");
  // Another disc under the same name.
  image = WriteCueBin(folder, AudioDisc("comes", {200, 200}));
  EXPECT_TRUE(waitFor([] { return ask("status cd number of tracks") == QLatin1String("2"); }, 1000));
  EXPECT_EQ(ask("status cd length track 1"), "00:02:50");
}

}  // namespace

namespace {

TEST_F(CdAudio, AfterAQuietSpellTheFirstQuerySeesTheDiscAsItIsNow) {
  DiscImage image = WriteCueBin(folder, AudioDisc("quiet", {300}));
  ASSERT_EQ(open(image), 0);
  EXPECT_EQ(ask("status cd number of tracks"), "1");
  // Nobody asks for a while: the device stops looking at the drive.
  QThread::msleep(3300);
  image = WriteCueBin(folder, AudioDisc("quiet", {300, 300, 300}));
  EXPECT_EQ(ask("status cd number of tracks"), "3");
}

}  // namespace
