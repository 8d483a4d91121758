#include "platform/registry_store.h"

namespace sv {

namespace fs = std::filesystem;

bool IsHiveName(const QString& name)
{
    static const char* const hives[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
    for (const char* h : hives) {
        if (name == QLatin1String(h))
            return true;
    }
    return false;
}

RegistryStore::RegistryStore() = default;
RegistryStore::RegistryStore(fs::path root) : root_(std::move(root)), fixedRoot_(true) {}

fs::path RegistryStore::DefaultRoot()
{
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    fs::path base;
    if (!xdg.isEmpty() && xdg.startsWith('/'))
        base = fs::path(xdg.toStdString());
    else
        base = fs::path(qgetenv("HOME").toStdString()) / ".config";
    return base / "sonvera" / "registry";
}

fs::path RegistryStore::root() const { return fixedRoot_ ? root_ : DefaultRoot(); }
fs::path RegistryStore::hiveFile(const QString& hive) const { return root() / (hive.toStdString() + ".ini"); }

bool RegistryStore::keyExists(const QString&, const QString&) const { return false; }
long RegistryStore::openKey(const QString&, const QString&) const { return kRegFileNotFound; }
long RegistryStore::createKey(const QString&, const QString&) { return kRegWriteFault; }
long RegistryStore::queryValue(const QString&, const QString&, const QString&, QString&) const { return kRegFileNotFound; }
long RegistryStore::setValue(const QString&, const QString&, const QString&, const QString&) { return kRegWriteFault; }
long RegistryStore::deleteValue(const QString&, const QString&, const QString&) { return kRegWriteFault; }

} // namespace sv
