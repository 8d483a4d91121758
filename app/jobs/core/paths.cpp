#include "jobs/core/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace sv::jobs {

QByteArray NativePath(const QString& path) { return QFile::encodeName(path); }

bool SameFile(const QString& a, const QString& b) {
  std::error_code ec;
  return std::filesystem::equivalent(NativePath(a).toStdString(), NativePath(b).toStdString(), ec);
}

QString UserFolder(const QString& typed) {
  const QString text = typed.trimmed();
  if (text.isEmpty()) return text;
  const QString home = QDir::homePath();
  if (text == QLatin1String("~")) return home;
  if (text.startsWith(QLatin1String("~/"))) return QDir::cleanPath(home + text.mid(1));
  if (QDir::isRelativePath(text)) return QDir::cleanPath(home + QLatin1Char('/') + text);
  return text;
}

bool RemoveFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return true;
  if (info.isDir() && !info.isSymLink()) return false;
  return QFile::remove(path);
}

}  // namespace sv::jobs
