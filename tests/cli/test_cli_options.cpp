// The command line: settings by the pages' names and by value, and what is refused.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sv::cli::Command;
using sv::cli::ParseCommandLine;
using sv::cli::ParseResult;

ParseResult parse(std::vector<std::string> args) {
  args.insert(args.begin(), "sonvera-convert");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return ParseCommandLine(static_cast<int>(args.size()), argv.data());
}

TEST(CliOptions, Mp3SettingsByThePagesNamesAndByValueMeetOnTheSamePositions) {
  const auto byName =
      parse({"-f", "mp3", "--rate", "32000 Hz", "-b", "192 Kbps", "-m", "Join Stereo", "-Q", "Phone", "x"});
  const auto byValue =
      parse({"--format=MP3", "--rate=32000", "--bitrate=192", "--mode=joint", "--quality=1000", "x"});
  for (const auto* r : {&byName, &byValue}) {
    ASSERT_TRUE(r->error.isEmpty()) << r->error.toStdString();
    EXPECT_EQ(r->settings.wave.Mp3SampleRate, 2);
    EXPECT_EQ(r->settings.wave.Mp3Bitrate, 10);
    EXPECT_EQ(r->settings.wave.Mp3Channel, 1);
    EXPECT_EQ(r->settings.wave.Mp3Quality, 4);
  }
  // "Low" is the encoder's preset 1 and "Normal" its preset 0: by value they swap places.
  EXPECT_EQ(parse({"-f", "mp3", "-Q", "1", "x"}).settings.wave.Mp3Quality, 0);
  EXPECT_EQ(parse({"-f", "mp3", "-Q", "0", "x"}).settings.wave.Mp3Quality, 1);
  EXPECT_EQ(parse({"-f", "mp3", "-Q", "stud", "x"}).settings.wave.Mp3Quality, 9);
  EXPECT_EQ(parse({"-f", "mp3", "-m", "mono", "x"}).settings.wave.Mp3Channel, 3);
  EXPECT_EQ(parse({"-f", "mp3", "-m", "dual", "x"}).settings.wave.Mp3Channel, 2);
}

TEST(CliOptions, TheOtherFormatsTakeTheirOwnListsAndTheOggLevelByValue) {
  EXPECT_EQ(parse({"-f", "ogg", "-b", "128", "x"}).settings.wave.OggBitrate, 3);
  EXPECT_EQ(parse({"-f", "ogg", "--level", "8", "x"}).settings.wave.OggBitrate, 6);
  EXPECT_EQ(parse({"-f", "wma", "-b", "64", "x"}).settings.wave.WmaBitrate, 0);
  EXPECT_EQ(parse({"-f", "vqf", "-b", "80kbps", "x"}).settings.wave.VqfBitrate, 0);
  const auto defaults = parse({"-f", "mp3", "x"}).settings.wave;
  EXPECT_EQ(defaults.Mp3Bitrate, sv::WaveToAllOptions{}.Mp3Bitrate) << "the page's own defaults";
  EXPECT_EQ(defaults.Mp3Quality, sv::WaveToAllOptions{}.Mp3Quality);
}

TEST(CliOptions, WrongValuesAndMisplacedSettingsAreUsageErrors) {
  EXPECT_TRUE(parse({"x"}).error.contains("-f")) << "no format";
  EXPECT_TRUE(parse({"-f", "flac", "x"}).error.contains("unknown format"));
  EXPECT_TRUE(parse({"-f", "mp3"}).error.contains("no files"));
  EXPECT_TRUE(parse({"-f", "mp3", "-b", "100", "x"}).error.contains("32 Kbps")) << "names the choices";
  EXPECT_TRUE(parse({"-f", "ogg", "--level", "3", "x"}).error.contains("OGG level"));
  EXPECT_TRUE(parse({"-f", "ogg", "--rate", "44100", "x"}).error.contains("-f mp3"));
  EXPECT_TRUE(parse({"-f", "wav", "-b", "128", "x"}).error.contains("--bitrate"));
  EXPECT_TRUE(parse({"-f", "mp3", "-Q", "h", "x"}).error.contains("quality")) << "High or HiFi";
  EXPECT_FALSE(parse({"-f", "mp3", "-j", "0", "x"}).error.isEmpty());
  EXPECT_TRUE(parse({"-f", "mp3", "--bogus", "x"}).error.contains("--bogus"));
  EXPECT_TRUE(parse({"-f", "mp3", "x", "-o"}).error.contains("needs a value"));
  EXPECT_FALSE(parse({"-L", "--grab", "1"}).error.isEmpty()) << "one disc command at a time";
  EXPECT_FALSE(parse({"--grab", "1", "-f", "ogg"}).error.isEmpty());
}

TEST(CliOptions, CommandsAndTheirDefaults) {
  EXPECT_EQ(parse({"--help"}).settings.command, Command::Help);
  EXPECT_EQ(parse({"-V"}).settings.command, Command::Version);
  const auto grab = parse({"-g", "2", "-t", "1-3,5"});
  ASSERT_TRUE(grab.error.isEmpty()) << grab.error.toStdString();
  EXPECT_EQ(grab.settings.command, Command::Grab);
  EXPECT_EQ(grab.settings.format, "wav");
  const auto write = parse({"--write-disc", "a.wav", "b.mp3"});
  EXPECT_EQ(write.settings.command, Command::WriteDisc);
  EXPECT_EQ(write.settings.inputs.size(), 2);
  EXPECT_GE(parse({"-f", "mp3", "x"}).settings.jobs, 1) << "all cores by default";
  EXPECT_EQ(parse({"-f", "mp3", "-j3", "x"}).settings.jobs, 3);
}

TEST(CliOptions, TrackListsInAnyOrderComeOutAscendingAndOnce) {
  EXPECT_EQ(*sv::cli::ParseTrackList("1-3,5"), (std::vector<int>{1, 2, 3, 5}));
  EXPECT_EQ(*sv::cli::ParseTrackList("5, 2-3,3"), (std::vector<int>{2, 3, 5}));
  for (const char* bad : {"", "3-1", "0", "1-", "a", "1,,2", "100"})
    EXPECT_FALSE(sv::cli::ParseTrackList(bad)) << bad;
}

}  // namespace
