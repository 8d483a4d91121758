#include "shell/core/helpers.h"

#include "platform/app_window.h"
#include "platform/mci.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"
#include "platform/runtime_error.h"
#include "shell/core/globals.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLocale>

#include "platform/cd_reader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>
#include <vector>

namespace sv {

namespace fs = std::filesystem;

QString AddBackslash(const QString& path) {
  if (path.isEmpty()) return QString(kPathSeparator);
  if (path.endsWith(kPathSeparator)) return path;
  return path + kPathSeparator;
}

QString RemoveBackslash(const QString& path) {
  if (path.endsWith(kPathSeparator)) return path.left(path.size() - 1);
  return path;
}

QString GetFileName(const QString& path) {
  const qsizetype slash = path.lastIndexOf(kPathSeparator);
  return slash < 0 ? path : path.mid(slash + 1);
}

QString GetParentFolder(const QString& path) {
  const qsizetype slash = path.lastIndexOf(kPathSeparator);
  return slash < 0 ? QString() : path.left(slash);
}

QString GetFileBaseName(const QString& path) {
  const QString name = GetFileName(path);
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  return dot <= 0 ? QString() : name.left(dot);
}

QString GetFileExtension(const QString& path) {
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : path.mid(dot + 1).toUpper();
}

namespace {
// "*" any run of characters, "?" any one character.
bool wildcardMatch(const QString& pattern, qsizetype p, const QString& name, qsizetype n) {
  while (p < pattern.size()) {
    const QChar c = pattern[p];
    if (c == QLatin1Char('*')) {
      for (qsizetype k = n; k <= name.size(); ++k) {
        if (wildcardMatch(pattern, p + 1, name, k)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    if (c != QLatin1Char('?') && c != name[n]) return false;
    ++p;
    ++n;
  }
  return n == name.size();
}
}  // namespace

bool FileExists(const QString& path) {
  if (path.isEmpty()) return false;
  const QString name = GetFileName(path);
  std::error_code ec;
  if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?'))) {
    return fs::exists(fs::symlink_status(fs::path(path.toStdString()), ec));
  }
  QString dir = GetParentFolder(path);
  if (dir.isEmpty()) dir = path.startsWith(kPathSeparator) ? QStringLiteral("/") : QStringLiteral(".");
  for (const auto& entry : fs::directory_iterator(fs::path(dir.toStdString()), ec)) {
    if (wildcardMatch(name, 0, QString::fromStdString(entry.path().filename().string()), 0)) return true;
  }
  return false;
}

QString FormatSizeK(std::int64_t bytes) {
  if (bytes == 0) return QStringLiteral("0K");
  // The "#,###,###" pattern: halves away from zero, no digit at all for zero.
  const double rounded = std::round(static_cast<double>(bytes) / 1000.0 + 0.5);
  const bool negative = rounded < 0;
  QString digits = rounded == 0 ? QString() : QString::number(static_cast<long long>(std::fabs(rounded)));
  const QString group = QLocale().groupSeparator();
  for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, group);
  return (negative ? QStringLiteral("-") : QString()) + digits + QLatin1Char('K');
}

QString FormatSeconds(std::int64_t seconds) {
  const bool negative = seconds < 0;
  const std::uint64_t a =
      negative ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
  return (negative ? QStringLiteral("-") : QString()) +
         QStringLiteral("%1:%2").arg(a / 60, 2, 10, QLatin1Char('0')).arg(a % 60, 2, 10, QLatin1Char('0'));
}

namespace {
// The leading number of a text, as Val reads it; 0 when there is none.
double leadingNumber(const QString& text) {
  const QString t = text.trimmed();
  qsizetype i = 0;
  if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) ++i;
  while (i < t.size() && t[i].isDigit()) ++i;
  if (i < t.size() && t[i] == QLatin1Char('.')) {
    ++i;
    while (i < t.size() && t[i].isDigit()) ++i;
  }
  bool ok = false;
  const double v = t.left(i).toDouble(&ok);
  return ok ? v : 0.0;
}
}  // namespace

std::int32_t TimeTextToSeconds(const QString& text) {
  const QStringList parts = Split(text, QStringLiteral(":"));
  double total = 0;
  if (parts.size() == 3)
    total = leadingNumber(parts[0]) * 3600 + leadingNumber(parts[1]) * 60 + leadingNumber(parts[2]);
  else if (parts.size() == 2)
    total = leadingNumber(parts[0]) * 60 + leadingNumber(parts[1]);
  return CLng(total);
}

namespace {
constexpr std::int64_t kFileTimeUnixEpoch = 116444736000000000LL;  // 1970-01-01 in 100-ns ticks since 1601
}

std::int64_t FileTimeFromUnix(std::int64_t unixSeconds) {
  return unixSeconds * 10000000LL + kFileTimeUnixEpoch;
}

QString FormatFileDate(std::int64_t fileTime) {
  if (fileTime < 0) return {};
  // Floor division keeps dates before 1970 on the right day.
  const std::int64_t ticks = fileTime - kFileTimeUnixEpoch;
  std::int64_t ms = ticks / 10000;
  if (ticks % 10000 < 0) --ms;
  const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
  if (!t.isValid()) return {};
  return t.toString(QStringLiteral("yy-MM-dd"));
}

QString FormatFileDate(fs::file_time_type time) {
  const auto sys = std::chrono::file_clock::to_sys(time);
  const auto ticks = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
      sys.time_since_epoch());
  return FormatFileDate(ticks.count() + kFileTimeUnixEpoch);
}

QString GetWindowsDirectoryPath() { return AddBackslash(QDir::homePath()); }

QString GetCDDriveList() {
  // The CD-reading component's list, drives then disc images, so that the CD page's drive
  // list and the device opened at start-up agree.
  QString list;
  try {
    for (const cdreader::Drive& d : cdreader::ListDrives())
      list += QString::fromStdString(d.path) + QLatin1Char('|');
  } catch (const RuntimeError&) {
  }
  return list;
}

namespace {
int& lastMciError() {
  static int code = 0;
  return code;
}
}  // namespace

int LastMCIError() { return lastMciError(); }

bool SendMCICommand(const QString& command, bool showError) {
  const int code = mciSendString(command);
  lastMciError() = code;
  if (showError && code != 0) MsgBox(mciGetErrorString(code), vbOKOnly, QString());
  return code == 0;
}

QString SelectDirectory() {
  QString start = RemoveBackslash(LastBrowseDir);
  if (start.isEmpty()) start = LastBrowseDir.isEmpty() ? QDir::homePath() : QStringLiteral("/");
  // Qt's own dialog: the same on every desktop and reachable from tests.
  QFileDialog dialog(MainWindow());
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  dialog.setDirectory(start);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.front();
}

QStringList Split(const QString& text, const QString& delimiter, int limit, CompareMethod compare) {
  if (delimiter.isEmpty()) return {text};
  const Qt::CaseSensitivity cs = compare == vbTextCompare ? Qt::CaseInsensitive : Qt::CaseSensitive;
  QStringList parts;
  qsizetype from = 0;
  while (limit == -1 || parts.size() < limit - 1) {
    const qsizetype hit = text.indexOf(delimiter, from, cs);
    if (hit < 0) break;
    parts.append(text.mid(from, hit - from));
    from = hit + delimiter.size();
  }
  parts.append(text.mid(from));
  return parts;
}

QString Replace(const QString& text, const QString& find, const QString& replaceWith, int start, int count,
                CompareMethod compare) {
  if (find.isEmpty() || find == replaceWith) return text;
  if (start < 1 || count < -1) Raise(errInvalidProcedureCall);
  const Qt::CaseSensitivity cs = compare == vbTextCompare ? Qt::CaseInsensitive : Qt::CaseSensitive;
  QString result = text;
  qsizetype from = start - 1;
  int done = 0;
  while (count == -1 || done < count) {
    const qsizetype hit = result.indexOf(find, from, cs);
    if (hit < 0) break;
    result.replace(hit, find.size(), replaceWith);
    from = hit + replaceWith.size();
    ++done;
  }
  return result;
}

}  // namespace sv
