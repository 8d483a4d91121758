// The disc commands on generated disc images: listing, and writing WAV and MP3 files as an image
// with the CD-Text the files' ID3v1 tags give.
#include "cli_run.h"
#include "disc_images.h"
#include "test_media.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <signal.h>

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
  EXPECT_TRUE(bad.err.contains("mono8.wav; Only high quality MP3,Wave(eg:44100hz) files can be burned!"))
      << bad.err.toStdString();
  s.Wav("ok.wav", 0.5);
  const CliResult writer =
      RunCli({"-W", "--writer", "/dev/nothing", "ok.wav"}, s.root(), {"SONVERA_DISC_DIR=" + discs});
  EXPECT_EQ(writer.status, 2);
  EXPECT_TRUE(writer.err.contains("no writer '/dev/nothing'"));
  EXPECT_TRUE(QDir(discs).entryList({"*.cue"}).isEmpty()) << "nothing was written";
}

}  // namespace

namespace {

using namespace clitest;

TEST(CliGrab, ChosenTracksBecomeWavFilesHoldingTheDiscsAudioWithARipLog) {
  Scratch s;
  const QString discs = s.path("discs");
  const auto image =
      sv::discs::WriteCueBin(discs.toStdString(), sv::discs::AudioDisc("rec", {300, 200, 100, 150}));
  const CliResult run =
      RunCli({"--grab", "1", "--tracks", "1,3-4", "-o", "tracks"}, s.root(), {"SONVERA_DISC_DIR=" + discs});
  ASSERT_EQ(run.status, 0) << run.err.toStdString() << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("3 tracks: 3 grabbed")) << run.out.toStdString();
  EXPECT_FALSE(QFile::exists(s.path("tracks/track02.wav")));
  for (const int t : {1, 3, 4}) {
    const QByteArray wav =
        media::ReadAll(s.path(QStringLiteral("tracks/track%1.wav").arg(t, 2, 10, QLatin1Char('0'))));
    const auto audio = image.Audio(image.start(t), image.end(t) - image.start(t));
    ASSERT_EQ(wav.size(), 44 + static_cast<qsizetype>(audio.size())) << t;
    EXPECT_TRUE(wav.mid(44) ==
                QByteArray(reinterpret_cast<const char*>(audio.data()), static_cast<qsizetype>(audio.size())))
        << "track " << t << " as the disc holds it";
  }
  const QString log = QString::fromUtf8(media::ReadAll(s.path("tracks/rip.log")));
  EXPECT_TRUE(run.out.contains("Rip log: " + s.path("tracks/rip.log")));
  EXPECT_TRUE(log.contains("Track 03")) << log.toStdString();
  EXPECT_TRUE(log.contains("CRC32"));
  EXPECT_FALSE(log.contains("Track 02\n"));

  // By the image's path, to MP3 at the page's settings; what is there is kept without -y.
  const CliResult mp3 = RunCli({"-g", QString::fromStdString(image.sheet.string()), "-t", "2-3", "-f", "mp3",
                                "-b", "192", "-o", s.path("tracks")},
                               {}, {"SONVERA_DISC_DIR=" + discs});
  ASSERT_EQ(mp3.status, 0) << mp3.err.toStdString();
  const QByteArray encoded = media::ReadAll(s.path("tracks/track02.mp3"));
  ASSERT_GT(encoded.size(), 1000);
  EXPECT_EQ(static_cast<unsigned char>(encoded[0]), 0xFF);
  EXPECT_EQ((static_cast<unsigned char>(encoded[2]) >> 4), 11) << "192 kbit/s in the frame header";
}

TEST(CliGrab, UnknownDrivesAndTracksAreUsageErrors) {
  Scratch s;
  const QString discs = s.path("discs");
  sv::discs::WriteCueBin(discs.toStdString(), sv::discs::AudioDisc("two", {100, 100}));
  const QStringList env{"SONVERA_DISC_DIR=" + discs};
  const CliResult drive = RunCli({"--grab", "5"}, s.root(), env);
  EXPECT_EQ(drive.status, 2);
  EXPECT_TRUE(drive.err.contains("no drive or disc image '5'")) << drive.err.toStdString();
  const CliResult track = RunCli({"--grab", "1", "-t", "3"}, s.root(), env);
  EXPECT_EQ(track.status, 2);
  EXPECT_TRUE(track.err.contains("the disc has no track 3")) << track.err.toStdString();
  EXPECT_EQ(RunCli({"--grab", "1", "-t", "2-"}, s.root(), env).status, 2);
}

TEST(CliGrab, CtrlCStopsTheTrackInWorkRemovesItsPartAndTheLogSaysSo) {
  Scratch s;
  const QString discs = s.path("discs");
  sv::discs::WriteCueBin(discs.toStdString(), sv::discs::AudioDisc("long", {75 * 60, 75 * 60, 75 * 60}));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("SONVERA_DISC_DIR", discs);
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(SONVERA_CONVERT), {"-g", "1", "-f", "mp3", "-o", s.path("tracks")});
  ASSERT_TRUE(process.waitForStarted());
  QElapsedTimer clock;
  clock.start();
  while (!QFile::exists(s.path("tracks/track01.mp3")) && clock.elapsed() < 60000) QThread::msleep(20);
  QThread::msleep(100);
  ::kill(static_cast<pid_t>(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(60000));
  const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
  EXPECT_EQ(process.exitCode(), 130) << out.toStdString();
  EXPECT_TRUE(out.contains("Stopped by the user.")) << out.toStdString();
  EXPECT_TRUE(out.contains("stopped   track ")) << out.toStdString();
  // Only tracks reported grabbed are there.
  for (const QString& name : QDir(s.path("tracks")).entryList({"*.mp3"}))
    EXPECT_TRUE(out.contains("-> " + s.path("tracks/" + name))) << name.toStdString();
  const QString log = QString::fromUtf8(media::ReadAll(s.path("tracks/rip.log")));
  EXPECT_TRUE(log.contains("The job was stopped by the user.")) << log.toStdString();
}

// Writers other than the image writer, through the component's scripted stand-ins.
class CliWriter : public ::testing::Test {
 protected:
  QStringList env(const QString& writer) {
    const QString script =
        scratch_.File("writers.json", QStringLiteral("{\"writers\": [%1]}").arg(writer).toUtf8());
    return {"SONVERA_DISC_DIR=" + scratch_.path("discs"), "SONVERA_CDWRITER_SCRIPT=" + script};
  }
  Scratch scratch_;
};

TEST_F(CliWriter, AWriterChosenByAddressWritesTheDisc) {
  scratch_.Wav("a.wav", 1.0);
  const QStringList e = env(R"({"address": "Scripted", "vendor": "Test", "product": "Writer"})");
  const CliResult list = RunCli({"-L"}, scratch_.root(), e);
  EXPECT_TRUE(list.out.contains("  1  Scripted: Test Writer")) << list.out.toStdString();
  const CliResult run = RunCli({"-W", "-w", "Scripted", "a.wav"}, scratch_.root(), e);
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("Disc written: 1 track.")) << run.out.toStdString();
}

TEST_F(CliWriter, AWriteErrorIsNamedAndTheStatusIsOne) {
  scratch_.Wav("a.wav", 1.0);
  const QStringList e = env(
      R"({"address": "Scripted", "vendor": "Test", "product": "Writer",
          "fail": {"track": 1, "block": 10, "writeError": 3, "deviceError": 1234, "text": "laser tired"}})");
  const CliResult run = RunCli({"-W", "--writer=1", "a.wav"}, scratch_.root(), e);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.contains("A device error has occurred. Device Error 1234")) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("laser tired")) << run.err.toStdString();
}

TEST_F(CliWriter, CtrlCCancelsTheWrite) {
  scratch_.Wav("a.wav", 20.0);
  const QStringList e =
      env(R"({"address": "Slow", "vendor": "Test", "product": "Writer", "blocksPerSecond": 75})");
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const QString& pair : e) environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(scratch_.root());
  process.start(QStringLiteral(SONVERA_CONVERT), {"-W", "-w", "Slow", "a.wav"});
  ASSERT_TRUE(process.waitForStarted());
  QThread::msleep(1500);
  ::kill(static_cast<pid_t>(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 130);
  EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardOutput()).contains("Stopped by the user"));
}

}  // namespace
