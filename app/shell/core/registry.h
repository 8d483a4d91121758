#pragma once
// String access to the registry by full key path ("HKEY_LOCAL_MACHINE\SOFTWARE\...")
// and the installation record written at the first start.
#include <QString>
#include <QVariant>

#include <cstdint>

namespace sv {

inline constexpr const char* kInstallationKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\SONVERA\\Sonvera Disc Suite";

// Handle value of a predefined root key, 0 for any other text (exact match).
std::uint32_t RegistryHiveFromName(const QString& name);

// The value's text; "Error" when the key or value cannot be read (also for values of
// 255 characters or more); an invalid (Empty) QVariant for a malformed path or unknown hive.
QVariant RegistryReadValue(const QString& keyPath, const QString& valueName);
void RegistryCreateKey(const QString& keyPath);
// The key must exist already.
void RegistryWriteValue(const QString& keyPath, const QString& valueName, const QString& value);
// The result code of the last registry call (0 = success).
long RegistryLastResult();

// On the first run records "AppPath" and "Version" under kInstallationKey.
void RegisterInstallation();
// The values RegisterInstallation writes.
QString ProgramDirectoryText();
QString ProgramVersionText();

}  // namespace sv
