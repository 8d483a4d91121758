// sonvera-convert as a script and a person meet it: folders, overwrite, bad files among good
// ones, Ctrl-C, the output on and off a terminal, usage errors and the exit status.
#include "cli_run.h"
#include "test_media.h"

#include <signal.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {

using namespace clitest;

QStringList filesUnder(const QString& folder) {
  QStringList out;
  QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) out << QDir(folder).relativeFilePath(it.next());
  out.sort();
  return out;
}

bool isMp3(const QByteArray& bytes) {
  return bytes.size() > 1000 && static_cast<unsigned char>(bytes[0]) == 0xFF;
}

TEST(CliRun, FoldersAreScannedAndWithRTheirSubfoldersKeepTheirPlaceUnderTheOutput) {
  Scratch s;
  s.Wav("in/a.wav", 0.5);
  s.Wav("in/B.WAV", 0.5);
  s.Wav("in/deep/c.wav", 0.5);
  s.File("in/notes.txt", "not audio");
  const CliResult flat = RunCli({"-f", "mp3", "-o", s.path("flat"), s.path("in")});
  EXPECT_EQ(flat.status, 0) << flat.err.toStdString();
  EXPECT_EQ(filesUnder(s.path("flat")), (QStringList{"B.mp3", "a.mp3"}));

  const CliResult deep = RunCli({"-r", "-f", "mp3", "-o", "out", "in"}, s.root());
  EXPECT_EQ(deep.status, 0) << deep.err.toStdString();
  EXPECT_EQ(filesUnder(s.path("out")), (QStringList{"B.mp3", "a.mp3", "deep/c.mp3"}))
      << "a relative output folder is taken from the working folder";
  EXPECT_TRUE(isMp3(media::ReadAll(s.path("out/deep/c.mp3"))));

  // Without an output folder each file goes beside its source.
  const CliResult beside = RunCli({"-f", "wav", s.path("out/deep/c.mp3")});
  EXPECT_EQ(beside.status, 0) << beside.err.toStdString();
  EXPECT_TRUE(media::ReadAll(s.path("out/deep/c.wav")).startsWith("RIFF"));
}

TEST(CliRun, ExistingFilesAreKeptUnlessOverwriteIsAsked) {
  Scratch s;
  const QString wav = s.Wav("a.wav", 0.5);
  const QString old = s.File("out/a.mp3", "keep me");
  const CliResult kept = RunCli({"-f", "mp3", "-o", s.path("out"), wav});
  EXPECT_EQ(kept.status, 0) << "nothing failed";
  EXPECT_EQ(media::ReadAll(old), "keep me");
  EXPECT_TRUE(kept.out.contains("skipped")) << kept.out.toStdString();
  EXPECT_TRUE(kept.out.contains("1 skipped"));

  const CliResult replaced = RunCli({"--overwrite", "-f", "mp3", "-o", s.path("out"), wav});
  EXPECT_EQ(replaced.status, 0) << replaced.err.toStdString();
  EXPECT_TRUE(isMp3(media::ReadAll(old)));
  EXPECT_TRUE(replaced.out.contains("1 converted"));
}

TEST(CliRun, BadFilesAmongGoodOnesAreNamedWithTheirCauseAndTheStatusIsOne) {
  Scratch s;
  s.Wav("in/good1.wav", 0.5);
  s.Wav("in/good2.wav", 0.5);
  s.File("in/junk.wav", "RIFF but nothing else");
  s.File("in/empty.wav", QByteArray());
  s.File("readme.txt", "text");
  const CliResult run = RunCli({"-f", "mp3", "-j", "2", "-o", s.path("out"), s.path("in"),
                                s.path("missing.wav"), s.path("readme.txt")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(filesUnder(s.path("out")), (QStringList{"good1.mp3", "good2.mp3"}))
      << "no output of a failed file";
  for (const char* named :
       {"junk.wav: ", "empty.wav: ", "missing.wav: no such file", "readme.txt: not a WAV file"})
    EXPECT_TRUE(run.err.contains(named)) << named << "\n" << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("6 files: 2 converted, 4 failed")) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("Not converted:"));

  // Decoding: a damaged MP3 is named, the good one converts.
  s.File("dec/good.mp3", media::EncodeMp3(1.0));
  s.File("dec/noise.mp3", QByteArray(5000, 'x'));
  const CliResult decode = RunCli({"-f", "wav", "-o", s.path("wavs"), s.path("dec")});
  EXPECT_EQ(decode.status, 1);
  EXPECT_EQ(filesUnder(s.path("wavs")), QStringList{"good.wav"});
  EXPECT_TRUE(decode.err.contains("noise.mp3: no MPEG audio in the source file")) << decode.err.toStdString();
}

TEST(CliRun, OffATerminalEachFinishedFileIsOnePlainLine) {
  Scratch s;
  s.Wav("in/a.wav", 0.5);
  s.Wav("in/b.wav", 0.5);
  const CliResult run = RunCli({"-f", "ogg", "-o", s.path("out"), s.path("in")});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_FALSE(run.out.contains(QChar(0x1b))) << "no terminal controls in a pipe";
  const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << run.out.toStdString();
  // In the order the files finished, which two at once may swap.
  QStringList done = lines.mid(0, 2);
  done.sort();
  EXPECT_EQ(done[0].toStdString(),
            ("converted " + s.path("in/a.wav") + " -> " + s.path("out/a.ogg")).toStdString());
  EXPECT_EQ(done[1].toStdString(),
            ("converted " + s.path("in/b.wav") + " -> " + s.path("out/b.ogg")).toStdString());
  EXPECT_TRUE(lines[2].startsWith("2 files: 2 converted in "));

  const CliResult quiet = RunCli({"-q", "-y", "-f", "ogg", "-o", s.path("out"), s.path("in")});
  EXPECT_EQ(quiet.out.split('\n', Qt::SkipEmptyParts).size(), 1) << "only the summary";
}

TEST(CliRun, TheLiveDisplayRedrawsRunningFilesAndTheTotalBarInPlace) {
  Scratch s;
  s.Wav("in/a.wav", 8);
  s.Wav("in/b.wav", 8);
  const CliResult run =
      RunCli({"--progress=live", "-j", "2", "-f", "mp3", "-o", s.path("out"), s.path("in")});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("\x1b[")) << "lines are moved over and cleared";
  EXPECT_TRUE(run.out.contains("] 100%  2/2 files")) << run.out.toStdString();
  // Both files were in work at once: one frame shows both names.
  bool both = false;
  for (const QString& frame : run.out.split("\x1b[J"))
    both = both || (frame.contains("% a.wav") && frame.contains("% b.wav"));
  EXPECT_TRUE(both) << "-j 2 runs two files at once";
}

TEST(CliRun, CtrlCStopsTheRunningFilesRemovesTheirPartsAndListsWhatWasDone) {
  Scratch s;
  for (int i = 1; i <= 4; ++i) s.Wav(QStringLiteral("in/long%1.wav").arg(i), 40);
  QProcess process;
  process.start(QStringLiteral(SONVERA_CONVERT), {"-j", "2", "-f", "mp3", "-o", s.path("out"), s.path("in")});
  ASSERT_TRUE(process.waitForStarted());
  // Wait until encoding has begun: an output file is there.
  QElapsedTimer clock;
  clock.start();
  while (filesUnder(s.path("out")).isEmpty() && clock.elapsed() < 60000) QThread::msleep(20);
  ASSERT_FALSE(filesUnder(s.path("out")).isEmpty());
  QThread::msleep(200);
  ::kill(static_cast<pid_t>(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(60000));
  const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 130);
  EXPECT_TRUE(out.contains("Stopped by the user.")) << out.toStdString();
  EXPECT_TRUE(out.contains("not started")) << out.toStdString();
  // What is left is exactly what was reported converted, and each of those is whole.
  const QStringList left = filesUnder(s.path("out"));
  for (const QString& name : left) {
    EXPECT_TRUE(out.contains("-> " + s.path("out/" + name)))
        << name.toStdString() << " was never reported done";
    EXPECT_GT(QFileInfo(s.path("out/" + name)).size(), 40 * 16000 - 20000) << "a whole file";
  }
  EXPECT_LT(left.size(), 4);
  EXPECT_FALSE(out.contains("stopped  ") && left.isEmpty() && !out.contains("stopped"));
  EXPECT_TRUE(out.contains("stopped   ")) << "the files in work are named";
}

TEST(CliRun, UsageErrorsGiveStatusTwoAndHelpAndVersionGiveZero) {
  const CliResult none = RunCli({});
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(none.err.contains("--help")) << none.err.toStdString();
  EXPECT_EQ(RunCli({"-f", "mp3", "--bitrate=7", "x.wav"}).status, 2);
  EXPECT_EQ(RunCli({"-x"}).status, 2);
  const CliResult help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--format", "--output", "--recursive", "--overwrite", "--jobs", "--bitrate",
                             "--quality", "--list-drives", "--grab", "--tracks", "--write-disc", "--version"})
    EXPECT_TRUE(help.out.contains(option)) << option;
  const CliResult version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.startsWith("sonvera-convert (Sonvera Disc Suite) ")) << version.out.toStdString();
}

}  // namespace

namespace {

using namespace clitest;

TEST(CliInstalled, TheInstalledCommandConvertsAndItsManPageIsBesideIt) {
  Scratch s;
  const QString prefix = s.path("prefix");
  QProcess install;
  install.start(QStringLiteral("cmake"),
                {"--install", QStringLiteral(SONVERA_BUILD_DIR), "--prefix", prefix});
  ASSERT_TRUE(install.waitForFinished(240000));
  ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
  const QByteArray page = media::ReadAll(prefix + "/share/man/man1/sonvera-convert.1");
  EXPECT_TRUE(page.contains(".SH EXIT STATUS")) << "the man page is installed";

  s.Wav("in/a.wav", 0.5);
  QProcess run;
  run.start(prefix + "/bin/sonvera-convert", {"-f", "ogg", "-o", s.path("out"), s.path("in")});
  ASSERT_TRUE(run.waitForFinished(60000));
  EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  EXPECT_TRUE(media::ReadAll(s.path("out/a.ogg")).startsWith("OggS"))
      << "its libraries come from the installed tree";
}

}  // namespace

namespace {

using namespace clitest;

// The worker processes of a running command.
std::vector<pid_t> workersOf(qint64 pid) {
  std::vector<pid_t> out;
  const QByteArray children = media::ReadAll(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
  for (const QByteArray& child : children.split(' '))
    if (const int id = child.trimmed().toInt(); id > 0) out.push_back(id);
  return out;
}

TEST(CliRun, AConverterThatDiesFailsOnlyItsFileAndTheRunGoesOn) {
  Scratch s;
  s.Wav("in/a.wav", 40);
  s.Wav("in/b.wav", 1);
  QProcess process;
  process.start(QStringLiteral(SONVERA_CONVERT), {"-j", "1", "-f", "mp3", "-o", s.path("out"), s.path("in")});
  ASSERT_TRUE(process.waitForStarted());
  QElapsedTimer clock;
  clock.start();
  while (!QFile::exists(s.path("out/a.mp3")) && clock.elapsed() < 60000) QThread::msleep(20);
  const auto workers = workersOf(process.processId());
  ASSERT_EQ(workers.size(), 1u);
  ::kill(workers[0], SIGKILL);  // as a library crashing on a damaged file would end it
  ASSERT_TRUE(process.waitForFinished(60000));
  const QString err = QString::fromLocal8Bit(process.readAllStandardError());
  EXPECT_EQ(process.exitCode(), 1);
  EXPECT_TRUE(err.contains("a.wav: the converter crashed")) << err.toStdString();
  EXPECT_FALSE(QFile::exists(s.path("out/a.mp3"))) << "the cut-off file went";
  EXPECT_TRUE(isMp3(media::ReadAll(s.path("out/b.mp3")))) << "a new worker took the next file";
}

}  // namespace
