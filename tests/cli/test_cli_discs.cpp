// The disc commands on generated disc images: listing, and writing WAV and MP3 files as an image
// with the CD-Text the files' ID3v1 tags give.
#include "cli_run.h"
#include "disc_images.h"
#include "test_media.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

using namespace clitest;

QByteArray id3v1(const char* title, const char* artist) {
  QByteArray tag("TAG");
  for (const char* field : {title, artist, "Album"}) tag += QByteArray(field).leftJustified(30, '\0', true);
  tag += "2026" + QByteArray(30, '\0') + QByteArray(1, '\0');
  return tag;
}

TEST(CliDiscs, TheDrivesListShowsEachImageWithItsTracksAndTheImageWriter) {
  Scratch s;
  const QString discs = s.path("discs");
  sv::discs::WriteCueBin(discs.toStdString(), sv::discs::AudioDisc("album", {75 * 30, 75 * 15, 75 * 20}));
  const CliResult run = RunCli({"--list-drives"}, {}, {"SONVERA_DISC_DIR=" + discs});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("Disc image: album.cue")) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("3 audio tracks, 1:05")) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("Writers:"));
  EXPECT_TRUE(run.out.contains("Image")) << "the image writer is always there";
}

TEST(CliDiscs, WavAndMp3FilesBecomeAnImageWithTheWavsSamplesAndTheTagsCdText) {
  Scratch s;
  const QString discs = s.path("discs");
  const QString wav = s.Wav("first.wav", 2.0);
  s.File("second.mp3", media::EncodeMp3(1.5) + id3v1("Second Song", "Some Band"));
  const CliResult run = RunCli({"-W", "--image-name", "mix", "first.wav", "second.mp3"}, s.root(),
                               {"SONVERA_DISC_DIR=" + discs});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("Disc image written: " + discs + "/mix.cue (2 tracks)"))
      << run.out.toStdString();
  const QString cue = QString::fromUtf8(media::ReadAll(discs + "/mix.cue"));
  EXPECT_TRUE(cue.contains("TRACK 02 AUDIO\n    TITLE \"Second Song\"\n    PERFORMER \"Some Band\""))
      << cue.toStdString();
  // Track 1 after the two-second pregap holds the WAV's samples as they are.
  const QByteArray bin = media::ReadAll(discs + "/mix.bin");
  const QByteArray pcm = media::ReadAll(wav).mid(44);
  ASSERT_GT(bin.size(), 150 * 2352 + pcm.size());
  EXPECT_TRUE(bin.mid(150 * 2352, pcm.size()) == pcm);

  const CliResult listed = RunCli({"-L"}, {}, {"SONVERA_DISC_DIR=" + discs});
  EXPECT_TRUE(listed.out.contains("Disc image: mix.cue")) << "the image is a drive now";
  EXPECT_TRUE(listed.out.contains("2 audio tracks"));

  const CliResult noCdText = RunCli({"-W", "--no-cd-text", "--image-name", "plain", "second.mp3"}, s.root(),
                                    {"SONVERA_DISC_DIR=" + discs});
  ASSERT_EQ(noCdText.status, 0) << noCdText.err.toStdString();
  EXPECT_FALSE(media::ReadAll(discs + "/plain.cue").contains("TITLE"));
}

TEST(CliDiscs, FilesThatCanNotGoOnADiscAndUnknownWritersAreRefusedBeforeWriting) {
  Scratch s;
  const QString discs = s.path("discs");
  s.File("notes.txt", "text");
  s.File("mono8.wav", QByteArray("RIFF") + QByteArray(100, '\0'));
  const CliResult text = RunCli({"-W", "notes.txt"}, s.root(), {"SONVERA_DISC_DIR=" + discs});
  EXPECT_EQ(text.status, 1);
  EXPECT_TRUE(text.err.contains("notes.txt: not a WAV or MP3 file")) << text.err.toStdString();
  const CliResult bad = RunCli({"-W", "mono8.wav"}, s.root(), {"SONVERA_DISC_DIR=" + discs});
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(bad.err.contains("mono8.wav: can not be written")) << bad.err.toStdString();
  s.Wav("ok.wav", 0.5);
  const CliResult writer =
      RunCli({"-W", "--writer", "/dev/nothing", "ok.wav"}, s.root(), {"SONVERA_DISC_DIR=" + discs});
  EXPECT_EQ(writer.status, 2);
  EXPECT_TRUE(writer.err.contains("no writer '/dev/nothing'"));
  EXPECT_TRUE(QDir(discs).entryList({"*.cue"}).isEmpty()) << "nothing was written";
}

}  // namespace
