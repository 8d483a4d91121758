#pragma once
// The registry on files: one INI file per hive under
// $XDG_CONFIG_HOME/sonvera/registry/<HIVE>.ini. Key paths use "\" between key names;
// key and value names match without regard to case, as in the registry.
// Every change rewrites the hive file atomically (temporary file, fsync, rename), so a
// failed write leaves the previous file as it was.
#include <QString>

#include <filesystem>

namespace sv {

// Result codes, the registry's own numbers.
enum RegResult : long {
  kRegSuccess = 0,
  kRegFileNotFound = 2,  // key or value absent
  kRegAccessDenied = 5,
  kRegInvalidHandle = 6,  // unknown hive
  kRegWriteFault = 29,    // the hive file could not be written
  kRegReadFault = 30,     // the hive file could not be read
  kRegInvalidParameter = 87,
  kRegMoreData = 234,  // the value does not fit the caller's buffer
};

// The seven predefined root keys.
bool IsHiveName(const QString& name);

class RegistryStore {
 public:
  // The store under the user's configuration directory, read at each call so that a
  // changed XDG_CONFIG_HOME takes effect.
  RegistryStore();
  explicit RegistryStore(std::filesystem::path root);

  static std::filesystem::path DefaultRoot();
  std::filesystem::path root() const;
  std::filesystem::path hiveFile(const QString& hive) const;

  // subKey "" is the hive's own root key, which always exists.
  bool keyExists(const QString& hive, const QString& subKey) const;
  long openKey(const QString& hive, const QString& subKey) const;  // kRegSuccess or kRegFileNotFound
  long createKey(const QString& hive, const QString& subKey);      // creates missing parents
  long queryValue(const QString& hive, const QString& subKey, const QString& name, QString& value) const;
  // The key must exist.
  long setValue(const QString& hive, const QString& subKey, const QString& name, const QString& value);
  long deleteValue(const QString& hive, const QString& subKey, const QString& name);

 private:
  std::filesystem::path root_;
  bool fixedRoot_ = false;
};

}  // namespace sv
