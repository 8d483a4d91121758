#include "shell/core/registry.h"

#include "platform/library_loader.h"
#include "platform/msgbox.h"
#include "platform/registry_store.h"

#include <QCoreApplication>
#include <QDir>

#include <optional>

namespace sv {

namespace {
// The read buffer the value must fit, terminating zero included.
constexpr int kReadBufferLength = 255;

long& lastResult() {
  static long result = 0;
  return result;
}

RegistryStore& store() {
  static RegistryStore s;
  return s;
}

struct ParsedPath {
  QString hive;
  QString subKey;
};

// Splits "HIVE\sub\key"; a malformed path is reported in a box, an unknown hive silently.
std::optional<ParsedPath> RegistryParsePath(const QString& keyPath) {
  if (!keyPath.startsWith(QLatin1String("HKEY_")) || keyPath.endsWith(QLatin1Char('\\'))) {
    MsgBox(QStringLiteral("Incorrect Format:") + QLatin1String("\n\n") + keyPath, vbOKOnly, QString());
    return std::nullopt;
  }
  ParsedPath parsed;
  const qsizetype slash = keyPath.indexOf(QLatin1Char('\\'));
  if (slash >= 0) {
    parsed.hive = keyPath.left(slash);
    parsed.subKey = keyPath.mid(slash + 1);
  } else {
    parsed.hive = keyPath;
  }
  if (RegistryHiveFromName(parsed.hive) == 0) return std::nullopt;
  return parsed;
}
}  // namespace

std::uint32_t RegistryHiveFromName(const QString& name) {
  static const char* const hives[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                                      "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                                      "HKEY_DYN_DATA"};
  for (std::uint32_t i = 0; i < std::size(hives); ++i) {
    if (name == QLatin1String(hives[i])) return 0x80000000u + i;
  }
  return 0;
}

QVariant RegistryReadValue(const QString& keyPath, const QString& valueName) {
  const auto parsed = RegistryParsePath(keyPath);
  if (!parsed) return {};
  const QString error = QStringLiteral("Error");
  lastResult() = store().openKey(parsed->hive, parsed->subKey);
  if (lastResult() != kRegSuccess) return error;
  QString value;
  lastResult() = store().queryValue(parsed->hive, parsed->subKey, valueName, value);
  if (lastResult() != kRegSuccess) return error;
  if (value.toLocal8Bit().size() + 1 > kReadBufferLength) {
    lastResult() = kRegMoreData;
    return error;
  }
  // The stored text exactly: no trimming, so leading blanks survive a round trip.
  return value;
}

void RegistryCreateKey(const QString& keyPath) {
  const auto parsed = RegistryParsePath(keyPath);
  if (!parsed) return;
  lastResult() = store().createKey(parsed->hive, parsed->subKey);
}

void RegistryWriteValue(const QString& keyPath, const QString& valueName, const QString& value) {
  const auto parsed = RegistryParsePath(keyPath);
  if (!parsed) return;
  lastResult() = store().openKey(parsed->hive, parsed->subKey);
  if (lastResult() != kRegSuccess) return;
  lastResult() = store().setValue(parsed->hive, parsed->subKey, valueName, value);
}

long RegistryLastResult() { return lastResult(); }

QString ProgramDirectoryText() {
  QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                             : QString::fromStdString(ProgramDirectory().string());
  dir = QDir::cleanPath(dir);
  while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
  return dir;
}

QString ProgramVersionText() {
  return QString::number(SONVERA_VERSION_MAJOR) + QLatin1Char('.') + QString::number(SONVERA_VERSION_MINOR);
}

void RegisterInstallation() {
  const QString key = QString::fromLatin1(kInstallationKey);
  const QVariant current = RegistryReadValue(key, QStringLiteral("AppPath"));
  if (current.toString() != QLatin1String("Error")) return;
  RegistryCreateKey(key);
  RegistryWriteValue(key, QStringLiteral("AppPath"), ProgramDirectoryText());
  RegistryWriteValue(key, QStringLiteral("Version"), ProgramVersionText());
}

}  // namespace sv
