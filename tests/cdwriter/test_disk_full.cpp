// A full disk during an image write, made with a file-size limit on a child process: the
// write ends with a WriteError and leaves nothing that looks like a disc.
#include "cdwriter_support.h"

#include <QCoreApplication>
#include <QProcess>

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

namespace {

using namespace cdwtest;

// Output of the burn helper, run with files no larger than `limit` bytes.
QString BurnLimited(const QStringList& files, rlim_t limit) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.setChildProcessModifier([limit] {
    // Past the limit a write fails with EFBIG instead of killing the process.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit r{limit, limit};
    setrlimit(RLIMIT_FSIZE, &r);
  });
  p.start(QCoreApplication::applicationDirPath() + "/cdwriter_burn_helper", files);
  if (!p.waitForFinished(120000)) return "timeout";
  return QString::fromLocal8Bit(p.readAll()) + QString("exit %1").arg(p.exitCode());
}

TEST(DiskFull, AnImageThatDoesNotFitIsAWriteErrorAndLeavesNothing) {
  Sandbox box;
  const QString a = WriteWav(box.file("a.wav"), 44100 * 20, 2, 1);
  const QString b = WriteWav(box.file("b.wav"), 44100 * 20, 2, 2);
  const QString out = BurnLimited({a, b}, 4 << 20);
  EXPECT_TRUE(out.contains("\nWriteError 3 27\n")) << out.toStdString();
  EXPECT_TRUE(out.contains("Error data: Writing " + box.discs() + "/")) << out.toStdString();
  EXPECT_TRUE(out.contains(".bin: File too large")) << out.toStdString();
  EXPECT_FALSE(out.contains("WritingComplete"));
  EXPECT_TRUE(out.endsWith("exit 0"));
  EXPECT_TRUE(box.discFiles().isEmpty()) << box.discFiles().join(", ").toStdString();
}

TEST(DiskFull, AnMp3ThatCannotBeCachedIsABufferingError) {
  Sandbox box;
  const QString mp3 = WriteMp3(box.file("long.mp3"), 30, 2);
  const QString out = BurnLimited({mp3}, 1 << 20);
  EXPECT_TRUE(out.contains("\nTrackFileError 4 " + mp3 + "\n")) << out.toStdString();
  EXPECT_TRUE(box.discFiles().isEmpty());
  EXPECT_TRUE(box.cacheFiles().isEmpty()) << box.cacheFiles().join(", ").toStdString();
}

}  // namespace
