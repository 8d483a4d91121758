// The burn job's texts and arithmetic on their own: speed lists, error texts, bar values.
#include "burn_job.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

using namespace sv::burn;

QStringList texts(const std::vector<Speed>& speeds) {
  QStringList out;
  for (const Speed& s : speeds) out << s.text;
  return out;
}

TEST(BurnTexts, SpeedListsStepByFourThenHalveToEven) {
  EXPECT_EQ(texts(BurnSpeeds(24)), QStringList({"24x", "20x", "16x", "12x", "8x", "4x", "2x", "1x"}));
  EXPECT_EQ(texts(BurnSpeeds(10)), QStringList({"10x", "6x", "2x", "1x"}));
  EXPECT_EQ(texts(BurnSpeeds(3)), QStringList({"3x", "2x", "1x"}));
  EXPECT_EQ(texts(BurnSpeeds(5)), QStringList({"5x", "1x"}));
  EXPECT_EQ(texts(BurnSpeeds(1)), QStringList({"1x"}));
  EXPECT_EQ(texts(BurnSpeeds(0)), QStringList({"Default"}));
  EXPECT_EQ(texts(BurnSpeeds(-1)), QStringList({"Default"}));
  EXPECT_EQ(BurnSpeeds(10)[1].speed, 6);
  EXPECT_EQ(BurnSpeeds(0)[0].speed, 0);
}

TEST(BurnTexts, WriteErrorTexts) {
  EXPECT_EQ(WriteErrorText(0, 0, "x"),
            "The read buffer could not be initialized...check your memory/disc resources.");
  EXPECT_EQ(WriteErrorText(1, 0, "x"),
            "The write buffer could not be initialized...check your memory/disc resources.");
  EXPECT_EQ(WriteErrorText(2, 0, "x"), "A file error was encountered while writing the disc.");
  EXPECT_EQ(WriteErrorText(3, 28, "No space left"),
            "A device error has occurred. Device Error 28\r\nError Data - No space left");
  EXPECT_EQ(WriteErrorText(4, 0, "x"),
            "Tracks have been added the disc image...Please add tracks and try again.");
  EXPECT_EQ(WriteErrorText(5, 0, "x"),
            "Tracks have been added the disc image with an invalid format...Please try again.");
  EXPECT_EQ(WriteErrorText(6, 0, "x"), "Unknown writing error.");
  EXPECT_EQ(WriteErrorText(-1, 0, "x"), "Unknown writing error.");
}

TEST(BurnTexts, FileErrorTextsNameTheFileExceptForCodeThreeAndUnknownCodes) {
  EXPECT_EQ(FileErrorText(0, "/m/a.wav"), "Error opening file: /m/a.wav");
  EXPECT_EQ(FileErrorText(1, "/m/a.wav"), "Error reading file: /m/a.wav");
  EXPECT_EQ(FileErrorText(2, "/m/a.wav"), "Error writing file: /m/a.wav");
  EXPECT_EQ(FileErrorText(4, "/m/a.wav"), "Error buffering file: /m/a.wav");
  EXPECT_EQ(FileErrorText(3, "/m/a.wav"), "Unknown file error!:");
  EXPECT_EQ(FileErrorText(9, "/m/a.wav"), "Unknown file error!:");
}

TEST(BurnTexts, RefusedFileTextGivesTheControlsReasonOnce) {
  EXPECT_EQ(RefusedFileText("/m/a.mp3", "/m/a.mp3: MP3 at 22050 Hz; a CD takes 44100 Hz"),
            "/m/a.mp3\r\nOnly high quality MP3,Wave(eg:44100hz) files can be burned!\r\n"
            "(MP3 at 22050 Hz; a CD takes 44100 Hz)");
  EXPECT_EQ(RefusedFileText("/m/a.mp3", ""),
            "/m/a.mp3\r\nOnly high quality MP3,Wave(eg:44100hz) files can be burned!");
}

TEST(BurnTexts, BarsRoundHalvesToEvenAndTheTotalWaitsAt99) {
  // 1 of 8 blocks is 12.5%: 12; 3 of 8 is 37.5%: 38.
  EXPECT_EQ(WriteStatusPercent(1, 8, 1, 1).track, 12);
  EXPECT_EQ(WriteStatusPercent(3, 8, 1, 1).track, 38);
  // Track 2 of 4 at 50%: (0.5 + 1) / 4 = 37.5%: 38.
  EXPECT_EQ(WriteStatusPercent(4, 8, 2, 4).total, 38);
  // Track 1 of 8 at 4%: (0.04 + 0) / 8 = 0.5%: 0.
  EXPECT_EQ(WriteStatusPercent(4, 100, 1, 8).total, 0);
  EXPECT_EQ(WriteStatusPercent(8, 8, 4, 4).total, 99);
  EXPECT_EQ(WriteStatusPercent(8, 8, 4, 4).track, 100);
  EXPECT_EQ(WriteStatusPercent(9, 8, 1, 1).track, 100) << "capped";
  EXPECT_EQ(WriteStatusPercent(0, 0, 1, 1).track, 100) << "an empty track is written at once";
  EXPECT_EQ(WriteStatusPercent(5, 10, 2, 0).total, 75) << "a layout never read counts this track as the last";
  EXPECT_EQ(CachingPercent(1, 8), 12);
  EXPECT_EQ(CachingPercent(0, 0), 100);
}

TEST(BurnTexts, TheLogLivesInTheUsersStateFolder) {
  const QByteArray saved = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", "/tmp/state-here");
  EXPECT_EQ(BurnLogPath(), "/tmp/state-here/sonvera/svburn.log");
  qputenv("XDG_STATE_HOME", "relative/state");
  EXPECT_EQ(BurnLogPath(), QDir::homePath() + "/.local/state/sonvera/svburn.log");
  qunsetenv("XDG_STATE_HOME");
  EXPECT_EQ(BurnLogPath(), QDir::homePath() + "/.local/state/sonvera/svburn.log");
  if (!saved.isNull()) qputenv("XDG_STATE_HOME", saved);
}

}  // namespace
