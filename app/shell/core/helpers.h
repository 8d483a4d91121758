#pragma once
// Small routines every page and job shares: path pieces, size and time texts, the
// media-control sender, the CD drive list, the folder chooser, string split/replace.
// Paths use the native separator "/".
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>

namespace sv {

inline constexpr QChar kPathSeparator = QLatin1Char('/');

QString AddBackslash(const QString& path);
QString RemoveBackslash(const QString& path);
QString GetFileName(const QString& path);
QString GetParentFolder(const QString& path);
QString GetFileBaseName(const QString& path);
QString GetFileExtension(const QString& path);
// True when an entry matches; "*" and "?" are allowed in the last path element.
bool FileExists(const QString& path);

// Sizes in thousands of bytes, grouped with the locale's separator: 2500 → "3K".
QString FormatSizeK(std::int64_t bytes);
// mm:ss, minutes not limited to 59: 3725 → "62:05", -65 → "-01:05".
QString FormatSeconds(std::int64_t seconds);
// "h:m:s" or "m:s" to seconds; any other form gives 0.
std::int32_t TimeTextToSeconds(const QString& text);
// A file time (100-ns ticks since 1601-01-01 UTC) as "yy-mm-dd" (UTC); empty when invalid.
QString FormatFileDate(std::int64_t fileTime);
QString FormatFileDate(std::filesystem::file_time_type time);
// The file time of a Unix time in seconds.
std::int64_t FileTimeFromUnix(std::int64_t unixSeconds);

// The home directory with a trailing separator.
QString GetWindowsDirectoryPath();
// The device or image path of every drive the CD-reading component lists (CD drives, then
// disc images), each followed by "|" ("/dev/sr0|/home/me/.local/share/sonvera/discs/a.cue|");
// empty when there is none.
QString GetCDDriveList();

// The error of the last SendMCICommand.
int LastMCIError();
// Sends one command; with showError a failure shows the error text in a box. True on success.
bool SendMCICommand(const QString& command, bool showError);

// A folder chosen in the directory chooser that opens at LastBrowseDir; empty when cancelled.
QString SelectDirectory();

enum CompareMethod : int { vbBinaryCompare = 0, vbTextCompare = 1 };

QStringList Split(const QString& text, const QString& delimiter = QStringLiteral(" "), int limit = -1,
                  CompareMethod compare = vbBinaryCompare);
// start is 1-based; count -1 replaces every hit.
QString Replace(const QString& text, const QString& find, const QString& replaceWith, int start = 1,
                int count = -1, CompareMethod compare = vbBinaryCompare);

}  // namespace sv
