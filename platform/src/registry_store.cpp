#include "platform/registry_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <system_error>

namespace sv {

namespace fs = std::filesystem;

bool IsHiveName(const QString& name) {
  static const char* const hives[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                                      "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                                      "HKEY_DYN_DATA"};
  for (const char* h : hives) {
    if (name == QLatin1String(h)) return true;
  }
  return false;
}

namespace {

// One hive in memory. Keys and values are found without regard to case and keep the
// spelling they were created with.
struct Value {
  QString name;
  QString data;
};
struct Key {
  QString path;
  std::map<QString, Value> values;  // by lower-case name
};
struct Hive {
  std::map<QString, Key> keys;  // by lower-case path; the root key "" is implicit
};

bool operator==(const Value& a, const Value& b) { return a.name == b.name && a.data == b.data; }
bool operator==(const Key& a, const Key& b) { return a.path == b.path && a.values == b.values; }
bool operator==(const Hive& a, const Hive& b) { return a.keys == b.keys; }

QString fold(const QString& s) { return s.toLower(); }

// "a\\b" and "a\" name no key; "" is the hive's root.
bool validSubKey(const QString& subKey) {
  if (subKey.isEmpty()) return true;
  const QStringList parts = subKey.split(QLatin1Char('\\'));
  for (const QString& p : parts) {
    if (p.isEmpty()) return false;
  }
  return true;
}

// Reads a hive file. A missing file is an empty hive; an unreadable or damaged one is an
// error, so that no write replaces what could not be read.
long loadHive(const fs::path& file, Hive& hive) {
  hive = Hive{};
  std::error_code ec;
  if (!fs::exists(file, ec)) return ec ? kRegReadFault : kRegSuccess;
  QFile in(QString::fromStdString(file.string()));
  if (!in.open(QIODevice::ReadOnly)) return kRegReadFault;
  const QByteArray bytes = in.readAll();
  if (in.error() != QFileDevice::NoError) return kRegReadFault;
  // QSettings keeps a cache per path that can miss a change made within the same
  // millisecond; reading through a private copy always parses the current bytes.
  QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/sonvera-registry-XXXXXX.ini"));
  if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush()) return kRegReadFault;
  copy.close();
  QSettings ini(copy.fileName(), QSettings::IniFormat);
  if (ini.status() != QSettings::NoError) return kRegReadFault;
  const int keyCount = ini.beginReadArray(QStringLiteral("keys"));
  for (int i = 0; i < keyCount; ++i) {
    ini.setArrayIndex(i);
    Key key;
    key.path = ini.value(QStringLiteral("path")).toString();
    const int valueCount = ini.beginReadArray(QStringLiteral("values"));
    for (int j = 0; j < valueCount; ++j) {
      ini.setArrayIndex(j);
      Value v{ini.value(QStringLiteral("name")).toString(), ini.value(QStringLiteral("data")).toString()};
      key.values[fold(v.name)] = v;
    }
    ini.endArray();
    hive.keys[fold(key.path)] = std::move(key);
  }
  ini.endArray();
  return kRegSuccess;
}

bool syncFile(const fs::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// Writes the whole hive beside the old file, makes it durable, then renames it over the
// old one: a failure at any step leaves the previous file untouched.
long storeHive(const fs::path& file, const Hive& hive) {
  static std::atomic<unsigned> serial{0};
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) return kRegWriteFault;
  const fs::path temp = file.parent_path() / (file.filename().string() + ".new-" +
                                              std::to_string(::getpid()) + "-" + std::to_string(serial++));
  const QString tempName = QString::fromStdString(temp.string());
  bool written = false;
  {
    QSettings ini(tempName, QSettings::IniFormat);
    ini.clear();
    ini.beginWriteArray(QStringLiteral("keys"), static_cast<int>(hive.keys.size()));
    int i = 0;
    for (const auto& [folded, key] : hive.keys) {
      ini.setArrayIndex(i++);
      ini.setValue(QStringLiteral("path"), key.path);
      ini.beginWriteArray(QStringLiteral("values"), static_cast<int>(key.values.size()));
      int j = 0;
      for (const auto& [vfolded, v] : key.values) {
        ini.setArrayIndex(j++);
        ini.setValue(QStringLiteral("name"), v.name);
        ini.setValue(QStringLiteral("data"), v.data);
      }
      ini.endArray();
    }
    ini.endArray();
    ini.sync();
    written = ini.status() == QSettings::NoError && fs::exists(temp, ec);
  }
  // QSettings does not notice every failed write (a file cut short by a size limit
  // reads as fine to it), so the new file must read back as exactly what was meant.
  if (written) {
    Hive check;
    written = loadHive(temp, check) == kRegSuccess && check == hive;
  }
  if (!written || !syncFile(temp, O_RDONLY) || ::rename(temp.c_str(), file.c_str()) != 0) {
    fs::remove(temp, ec);
    return kRegWriteFault;
  }
  // The rename itself must reach the disk too.
  syncFile(file.parent_path(), O_RDONLY | O_DIRECTORY);
  return kRegSuccess;
}

// Serialises read-modify-write of the hives between running programs, so that two of
// them writing at once cannot drop each other's values.
class WriteLock {
 public:
  explicit WriteLock(const fs::path& root) {
    std::error_code ec;
    fs::create_directories(root, ec);
    fd_ = ::open((root / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  int fd_ = -1;
};

const Key* findKey(const Hive& hive, const QString& subKey) {
  const auto it = hive.keys.find(fold(subKey));
  return it == hive.keys.end() ? nullptr : &it->second;
}

}  // namespace

RegistryStore::RegistryStore() = default;
RegistryStore::RegistryStore(fs::path root) : root_(std::move(root)), fixedRoot_(true) {}

fs::path RegistryStore::DefaultRoot() {
  const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
  fs::path base;
  if (!xdg.isEmpty() && xdg.startsWith('/'))
    base = fs::path(xdg.toStdString());
  else
    base = fs::path(QDir::homePath().toStdString()) / ".config";
  return base / "sonvera" / "registry";
}

fs::path RegistryStore::root() const { return fixedRoot_ ? root_ : DefaultRoot(); }
fs::path RegistryStore::hiveFile(const QString& hive) const { return root() / (hive.toStdString() + ".ini"); }

bool RegistryStore::keyExists(const QString& hive, const QString& subKey) const {
  return openKey(hive, subKey) == kRegSuccess;
}

long RegistryStore::openKey(const QString& hive, const QString& subKey) const {
  if (!IsHiveName(hive)) return kRegInvalidHandle;
  if (subKey.isEmpty()) return kRegSuccess;
  if (!validSubKey(subKey)) return kRegFileNotFound;
  Hive h;
  if (const long r = loadHive(hiveFile(hive), h); r != kRegSuccess) return r;
  return findKey(h, subKey) ? kRegSuccess : kRegFileNotFound;
}

long RegistryStore::createKey(const QString& hive, const QString& subKey) {
  if (!IsHiveName(hive)) return kRegInvalidHandle;
  if (!validSubKey(subKey)) return kRegInvalidParameter;
  const WriteLock lock(root());
  Hive h;
  if (const long r = loadHive(hiveFile(hive), h); r != kRegSuccess) return r;
  if (subKey.isEmpty() || findKey(h, subKey)) return kRegSuccess;
  // Every missing parent on the way, each keeping the spelling given here.
  const QStringList parts = subKey.split(QLatin1Char('\\'));
  QString path;
  for (const QString& part : parts) {
    path = path.isEmpty() ? part : path + QLatin1Char('\\') + part;
    Key& key = h.keys[fold(path)];
    if (key.path.isEmpty()) key.path = path;
  }
  return storeHive(hiveFile(hive), h);
}

long RegistryStore::queryValue(const QString& hive, const QString& subKey, const QString& name,
                               QString& value) const {
  if (!IsHiveName(hive)) return kRegInvalidHandle;
  if (!validSubKey(subKey)) return kRegFileNotFound;
  Hive h;
  if (const long r = loadHive(hiveFile(hive), h); r != kRegSuccess) return r;
  const Key* key = findKey(h, subKey);
  if (!key) return kRegFileNotFound;
  const auto it = key->values.find(fold(name));
  if (it == key->values.end()) return kRegFileNotFound;
  value = it->second.data;
  return kRegSuccess;
}

long RegistryStore::setValue(const QString& hive, const QString& subKey, const QString& name,
                             const QString& value) {
  if (!IsHiveName(hive)) return kRegInvalidHandle;
  if (!validSubKey(subKey)) return kRegFileNotFound;
  const WriteLock lock(root());
  Hive h;
  if (const long r = loadHive(hiveFile(hive), h); r != kRegSuccess) return r;
  Key* key = nullptr;
  if (subKey.isEmpty()) {
    key = &h.keys[QString()];
  } else {
    const auto it = h.keys.find(fold(subKey));
    if (it == h.keys.end()) return kRegFileNotFound;
    key = &it->second;
  }
  Value& v = key->values[fold(name)];
  if (v.name.isEmpty()) v.name = name;
  v.data = value;
  return storeHive(hiveFile(hive), h);
}

long RegistryStore::deleteValue(const QString& hive, const QString& subKey, const QString& name) {
  if (!IsHiveName(hive)) return kRegInvalidHandle;
  const WriteLock lock(root());
  Hive h;
  if (const long r = loadHive(hiveFile(hive), h); r != kRegSuccess) return r;
  const auto it = h.keys.find(fold(subKey));
  if (it == h.keys.end() || it->second.values.erase(fold(name)) == 0) return kRegFileNotFound;
  return storeHive(hiveFile(hive), h);
}

}  // namespace sv
