#include "folders.h"

#include <cstdlib>

namespace cdw {
namespace fs = std::filesystem;

namespace {

fs::path home() {
  const char* h = std::getenv("HOME");
  return fs::path(h && *h ? h : "/tmp");
}

fs::path xdg(const char* variable, const char* fallback) {
  if (const char* dir = std::getenv(variable); dir && *dir) return fs::path(dir);
  return home() / fallback;
}

}  // namespace

fs::path DiscFolder() {
  if (const char* dir = std::getenv("SONVERA_DISC_DIR"); dir && *dir) return fs::path(dir);
  return xdg("XDG_DATA_HOME", ".local/share") / "sonvera" / "discs";
}

fs::path CacheFolder() { return xdg("XDG_CACHE_HOME", ".cache") / "sonvera"; }

}  // namespace cdw
