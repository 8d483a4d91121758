// Paths as users type them, the same-file check, and the total bar's arithmetic.
#include "jobs/core/job_types.h"
#include "jobs/core/paths.h"
#include "jobs/core/shares.h"
#include "platform/runtime_error.h"
#include "recording_job.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

using namespace sv::jobs;

TEST(UserFolder, TildeAndRelativeFoldersAreTakenFromTheHomeFolder) {
  const QString home = QDir::homePath();
  EXPECT_EQ(UserFolder("~"), home);
  EXPECT_EQ(UserFolder("  ~/Music/out "), home + "/Music/out");
  EXPECT_EQ(UserFolder("~/"), home);
  EXPECT_EQ(UserFolder("Music"), home + "/Music") << "never the program's working folder";
  EXPECT_EQ(UserFolder("./a/../b"), home + "/b");
  EXPECT_EQ(UserFolder("/srv/music"), "/srv/music");
  EXPECT_EQ(UserFolder("   "), "");
  // A folder whose name merely starts with a tilde stays a name.
  EXPECT_EQ(UserFolder("~band"), home + "/~band");
}

TEST(SameFile, AnySpellingOfOneFileButNotTwoFilesOrMissingOnes) {
  QTemporaryDir dir;
  const QString a = dir.path() + QString::fromUtf8("/caf\u00e9 a.wav");
  jobtest::WriteAll(a, "x");
  jobtest::WriteAll(dir.path() + "/b.wav", "x");
  EXPECT_TRUE(SameFile(a, dir.path() + QString::fromUtf8("/./caf\u00e9 a.wav")));
  ASSERT_EQ(::link(NativePath(a).constData(), NativePath(dir.path() + "/hard.wav").constData()), 0);
  EXPECT_TRUE(SameFile(a, dir.path() + "/hard.wav"));
  EXPECT_FALSE(SameFile(a, dir.path() + "/b.wav"));
  EXPECT_FALSE(SameFile(a, dir.path() + "/missing.wav"));
  EXPECT_FALSE(SameFile(dir.path() + "/missing.wav", dir.path() + "/missing.wav"));
}

TEST(RemoveFile, RemovesFilesAndLinksButNeverFolders) {
  QTemporaryDir dir;
  jobtest::WriteAll(dir.path() + "/f", "x");
  EXPECT_TRUE(RemoveFile(dir.path() + "/f"));
  EXPECT_FALSE(QFile::exists(dir.path() + "/f"));
  EXPECT_TRUE(RemoveFile(dir.path() + "/never-there"));
  QDir(dir.path()).mkdir("sub");
  EXPECT_FALSE(RemoveFile(dir.path() + "/sub"));
  EXPECT_TRUE(QDir(dir.path() + "/sub").exists());
  ASSERT_TRUE(QFile::link(dir.path() + "/nowhere", dir.path() + "/dangling"));
  EXPECT_TRUE(RemoveFile(dir.path() + "/dangling"));
}

TEST(Shares, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(FileShare(1), 100);
  EXPECT_EQ(FileShare(3), 33);
  EXPECT_EQ(FileShare(8), 12);  // 12.5
  EXPECT_EQ(FileShare(40), 2);  // 2.5
  EXPECT_EQ(FileShare(28), 4);  // 3.57
  EXPECT_EQ(FileBase(3, 3), 67);
  EXPECT_EQ(TotalPercentOfRows(50, 3, 1), 16);  // 16.5
  EXPECT_EQ(TotalPercentOfRows(50, 3, 2), 50);  // 49.5
  EXPECT_EQ(TotalPercentOfRows(100, 3, 3), 100);
  EXPECT_EQ(RowsDonePercent(2, 3), 67);
  for (int p : {0, 1, 49, 50, 99, 100}) EXPECT_EQ(TotalPercentOfRows(p, 1, 1), p);
}

TEST(Shares, TheSixteenBitProductOverflowsAsError6) {
  EXPECT_EQ(TotalPercent(327, 100, 0), 327);
  try {
    TotalPercent(400, 100, 0);
    FAIL() << "no overflow";
  } catch (const sv::RuntimeError& e) {
    EXPECT_EQ(e.number(), sv::errOverflow);
  }
  EXPECT_THROW(TotalPercent(-400, 100, 0), sv::RuntimeError);
}

TEST(FinishLine, CountsTheRowsNotConverted) {
  EXPECT_EQ(FinishLine(0), "Finish Converting!");
  EXPECT_EQ(FinishLine(1), "Finish Converting! 1 file not converted.");
  EXPECT_EQ(FinishLine(4), "Finish Converting! 4 files not converted.");
  JobTexts cd;
  cd.finished = QStringLiteral("Finish Tracks Grab!");
  EXPECT_EQ(FinishLine(cd, 2), "Finish Tracks Grab! 2 files not converted.");
}

}  // namespace
