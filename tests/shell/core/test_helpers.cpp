#include "disc_images.h"
#include "platform/mci.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace sv;

TEST(PathHelpers, SeparatorHandling) {
  EXPECT_EQ(AddBackslash(""), "/");
  EXPECT_EQ(AddBackslash("/home/u"), "/home/u/");
  EXPECT_EQ(AddBackslash("/home/u/"), "/home/u/");
  EXPECT_EQ(RemoveBackslash(""), "");
  EXPECT_EQ(RemoveBackslash("/media/cd/"), "/media/cd");
  EXPECT_EQ(RemoveBackslash("/media/cd"), "/media/cd");
  EXPECT_EQ(RemoveBackslash("/"), "");

  EXPECT_EQ(GetFileName("/a.b/song.remix.mp3"), "song.remix.mp3");
  EXPECT_EQ(GetFileName("song.mp3"), "song.mp3");
  EXPECT_EQ(GetFileName("/music/"), "");
  EXPECT_EQ(GetParentFolder("/a.b/song.remix.mp3"), "/a.b");
  EXPECT_EQ(GetParentFolder("song.mp3"), "");
  EXPECT_EQ(GetParentFolder("/song.mp3"), "");
}

TEST(PathHelpers, BaseNameAndExtension) {
  EXPECT_EQ(GetFileBaseName("/a.b/song.remix.mp3"), "song");
  EXPECT_EQ(GetFileExtension("/a.b/song.remix.mp3"), "MP3");
  EXPECT_EQ(GetFileExtension("/a.b/song"), "B/SONG");
  EXPECT_EQ(GetFileBaseName("/a.b/song"), "");       // no full stop in the name
  EXPECT_EQ(GetFileBaseName("/music/.hidden"), "");  // name starts with one
  EXPECT_EQ(GetFileExtension("/music/track"), "");
  EXPECT_EQ(GetFileExtension("x.Wav"), "WAV");
  EXPECT_EQ(GetFileExtension("x."), "");
}

TEST(PathHelpers, FileExistsWithWildcards) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::ofstream(dir.filePath("track01.wav").toStdString()) << "x";
  std::ofstream(dir.filePath("[odd].mp3").toStdString()) << "x";
  EXPECT_TRUE(FileExists(dir.filePath("track01.wav")));
  EXPECT_FALSE(FileExists(dir.filePath("track02.wav")));
  EXPECT_TRUE(FileExists(dir.filePath("*.wav")));
  EXPECT_TRUE(FileExists(dir.filePath("track??.wav")));
  EXPECT_FALSE(FileExists(dir.filePath("track?.wav")));
  EXPECT_FALSE(FileExists(dir.filePath("*.ogg")));
  EXPECT_TRUE(FileExists(dir.filePath("[odd].mp3")));  // brackets are plain characters
  EXPECT_TRUE(FileExists(dir.path()));                 // folders are found too
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(dir.filePath("nowhere/*.wav")));
}

class LocaleGuard {
 public:
  explicit LocaleGuard(const QLocale& l) : old_(QLocale()) { QLocale::setDefault(l); }
  ~LocaleGuard() { QLocale::setDefault(old_); }

 private:
  QLocale old_;
};

TEST(TextFormatting, FormatSizeK) {
  LocaleGuard english(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(FormatSizeK(0), "0K");
  EXPECT_EQ(FormatSizeK(1), "1K");
  EXPECT_EQ(FormatSizeK(1000), "2K");  // 1.5 rounds away from zero
  EXPECT_EQ(FormatSizeK(1499), "2K");
  EXPECT_EQ(FormatSizeK(2500), "3K");
  EXPECT_EQ(FormatSizeK(999499), "1,000K");
  EXPECT_EQ(FormatSizeK(650000000), "650,001K");
  EXPECT_EQ(FormatSizeK(2147483647), "2,147,484K");
  // Larger than 32 bits: no wrap-around into negative sizes.
  EXPECT_EQ(FormatSizeK(4700000000LL), "4,700,001K");
}

TEST(TextFormatting, FormatSizeKUsesTheLocaleSeparator) {
  LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(FormatSizeK(999499), "1.000K");
  EXPECT_EQ(FormatSizeK(1234567890), "1.234.568K");
}

TEST(TextFormatting, FormatSeconds) {
  EXPECT_EQ(FormatSeconds(5), "00:05");
  EXPECT_EQ(FormatSeconds(0), "00:00");
  EXPECT_EQ(FormatSeconds(59), "00:59");
  EXPECT_EQ(FormatSeconds(60), "01:00");
  EXPECT_EQ(FormatSeconds(3725), "62:05");
  EXPECT_EQ(FormatSeconds(-65), "-01:05");
  EXPECT_EQ(FormatSeconds(6000 * 60), "6000:00");
  EXPECT_EQ(FormatSeconds(-2147483648LL), "-35791394:08");
}

TEST(TextFormatting, TimeTextToSeconds) {
  EXPECT_EQ(TimeTextToSeconds("1:02:03"), 3723);
  EXPECT_EQ(TimeTextToSeconds("4:05"), 245);
  EXPECT_EQ(TimeTextToSeconds("7"), 0);
  EXPECT_EQ(TimeTextToSeconds(""), 0);
  EXPECT_EQ(TimeTextToSeconds("1:2:3:4"), 0);
  EXPECT_EQ(TimeTextToSeconds("62:05"), 3725);
  EXPECT_EQ(TimeTextToSeconds(" 03 : 20"), 200);
  EXPECT_EQ(TimeTextToSeconds("ab:10"), 10);
  // What FormatSeconds writes reads back.
  for (int s : {0, 5, 59, 61, 3725, 35999}) EXPECT_EQ(TimeTextToSeconds(FormatSeconds(s)), s) << s;
}

TEST(TextFormatting, FormatFileDate) {
  // 2003-07-15 12:00:00 UTC.
  EXPECT_EQ(FormatFileDate(FileTimeFromUnix(1058270400)), "03-07-15");
  // Just before midnight UTC stays on that day whatever the local zone.
  EXPECT_EQ(FormatFileDate(FileTimeFromUnix(946684799)), "99-12-31");
  EXPECT_EQ(FormatFileDate(FileTimeFromUnix(946684800)), "00-01-01");
  EXPECT_EQ(FormatFileDate(0), "01-01-01");  // 1601-01-01
  EXPECT_EQ(FormatFileDate(-1), "");
  const auto now = std::filesystem::file_time_type::clock::now();
  EXPECT_EQ(FormatFileDate(now), QDateTime::currentDateTimeUtc().toString("yy-MM-dd"));
}

TEST(SystemHelpers, WindowsDirectoryIsHome) {
  EXPECT_EQ(GetWindowsDirectoryPath(), QDir::homePath() + "/");
  EXPECT_TRUE(GetWindowsDirectoryPath().endsWith('/'));
}

TEST(SystemHelpers, CDDriveListSplitsIntoNamesAndOneEmptyTail) {
  const QString list = GetCDDriveList();
  const QStringList drives = Split(list, "|", -1, vbBinaryCompare);
  ASSERT_FALSE(drives.isEmpty());
  EXPECT_EQ(drives.back(), "");
  if (list.isEmpty()) {
    EXPECT_EQ(drives.size(), 1);  // no drive: one empty element
  } else {
    EXPECT_TRUE(list.endsWith('|'));
    for (qsizetype i = 0; i + 1 < drives.size(); ++i)
      EXPECT_TRUE(drives[i].startsWith('/')) << drives[i].toStdString();
  }
}

TEST(SystemHelpers, CDDriveListEndsWithTheDiscImagesInNameOrder) {
  const std::filesystem::path folder = qgetenv("SONVERA_DISC_DIR").toStdString();
  const QString before = GetCDDriveList();
  const auto b = sv::discs::WriteCueBin(folder, sv::discs::AudioDisc("b side", {100}));
  const auto a = sv::discs::WriteCueBin(folder, sv::discs::AudioDisc("a side", {100}));
  const QString list = GetCDDriveList();
  sv::discs::RemoveImage(a);
  sv::discs::RemoveImage(b);
  // Real drives first (none on most machines), then one entry per image.
  EXPECT_EQ(list, before + QString::fromStdString(a.sheet.string()) + "|" +
                      QString::fromStdString(b.sheet.string()) + "|");
  EXPECT_EQ(GetCDDriveList(), before);
}

TEST(SystemHelpers, SendMCICommand) {
  ScopedMsgBoxResponder responder(vbOK);
  EXPECT_TRUE(SendMCICommand("close all", false));
  EXPECT_EQ(LastMCIError(), 0);

  EXPECT_FALSE(SendMCICommand("frobnicate cd", false));
  EXPECT_EQ(LastMCIError(), mci::kUnrecognizedCommand);
  EXPECT_TRUE(responder.calls().empty());

  // With no CD device driver, the start-up open fails and shows the readable text.
  EXPECT_FALSE(SendMCICommand("open  type cdaudio alias cd wait shareable", true));
  EXPECT_EQ(LastMCIError(), mci::kInvalidDeviceName);
  ASSERT_EQ(responder.calls().size(), 1u);
  EXPECT_EQ(responder.calls()[0].text, mciGetErrorString(mci::kInvalidDeviceName));
  EXPECT_EQ(responder.calls()[0].buttons, vbOKOnly);

  EXPECT_TRUE(SendMCICommand("close all", true));
  EXPECT_EQ(responder.calls().size(), 1u);
}

QFileDialog* openDirectoryDialog() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) return d;
  }
  return nullptr;
}

TEST(SystemHelpers, SelectDirectoryOpensAtLastBrowseDir) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkdir("albums"));
  LastBrowseDir = AddBackslash(dir.path());

  QString shownAt;
  std::function<void()> choose = [&] {
    QFileDialog* d = openDirectoryDialog();
    if (!d) {
      QTimer::singleShot(10, choose);
      return;
    }
    shownAt = d->directory().absolutePath();
    d->selectFile(dir.filePath("albums"));
    QMetaObject::invokeMethod(d, "accept");
  };
  QTimer::singleShot(0, choose);
  const QString chosen = SelectDirectory();
  EXPECT_EQ(shownAt, QDir(dir.path()).absolutePath());
  EXPECT_EQ(QDir(chosen).absolutePath(), QDir(dir.filePath("albums")).absolutePath());

  std::function<void()> cancel = [&] {
    QFileDialog* d = openDirectoryDialog();
    if (!d) {
      QTimer::singleShot(10, cancel);
      return;
    }
    d->reject();
  };
  QTimer::singleShot(0, cancel);
  EXPECT_EQ(SelectDirectory(), "");
}

TEST(StringHelpers, Split) {
  EXPECT_EQ(Split("/dev/sr0|/dev/sr1|", "|"), (QStringList{"/dev/sr0", "/dev/sr1", ""}));
  EXPECT_EQ(Split("", "|"), (QStringList{""}));
  EXPECT_EQ(Split("a|b|c", "|", 2), (QStringList{"a", "b|c"}));
  EXPECT_EQ(Split("a|b|c", "|", 1), (QStringList{"a|b|c"}));
  EXPECT_EQ(Split("a|b|c", ""), (QStringList{"a|b|c"}));
  EXPECT_EQ(Split("aXbxc", "x"), (QStringList{"aXb", "c"}));
  EXPECT_EQ(Split("aXbxc", "x", -1, vbTextCompare), (QStringList{"a", "b", "c"}));
  EXPECT_EQ(Split("a, b, c", ", "), (QStringList{"a", "b", "c"}));
  EXPECT_EQ(Split("||", "|"), (QStringList{"", "", ""}));
}

TEST(StringHelpers, Replace) {
  EXPECT_EQ(Replace("a.b.c", ".", "/"), "a/b/c");
  EXPECT_EQ(Replace("a.b.c", ".", "/", 1, 1), "a/b.c");
  EXPECT_EQ(Replace("a.b.c", ".", "/", 3), "a.b/c");  // search starts at position 3
  EXPECT_EQ(Replace("abc", "", "x"), "abc");
  EXPECT_EQ(Replace("abc", "b", "b"), "abc");
  // The inserted text is not searched again.
  EXPECT_EQ(Replace("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(Replace("Track TRACK track", "track", "T", 1, -1, vbTextCompare), "T T T");
  EXPECT_EQ(Replace("Track TRACK track", "track", "T"), "Track TRACK T");
  EXPECT_EQ(Replace(QString("x") + QChar(0) + "y", QString(QChar(0)), ""), "xy");
}

TEST(Globals, MusicDirectoryIsUnderHome) {
  EXPECT_TRUE(MusicDirectory().startsWith(QDir::homePath()));
  EXPECT_EQ(CancelConvert, 0);
}

}  // namespace
