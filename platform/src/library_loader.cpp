#include "platform/library_loader.h"

#include "platform/runtime_error.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace sv {

namespace fs = std::filesystem;

fs::path ProgramDirectory() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec);
  return exe.parent_path();
}

fs::path ProgramLibDirectory() { return (ProgramDirectory() / ".." / "lib").lexically_normal(); }

namespace {
// "svogg" → "libsvogg.so"; names with a suffix or a directory are kept.
std::string fileNameFor(const std::string& name) {
  if (name.find('/') != std::string::npos || name.find(".so") != std::string::npos) return name;
  return "lib" + name + ".so";
}

QString displayName(const std::string& name) { return QString::fromStdString(name); }
}  // namespace

SharedLibrary::SharedLibrary(std::string name) : name_(std::move(name)) {}

SharedLibrary::~SharedLibrary() {
  if (handle_) dlclose(handle_);
}

void SharedLibrary::load() {
  if (handle_) return;
  const std::string file = fileNameFor(name_);
  std::error_code ec;
  std::string candidate;
  if (file.find('/') != std::string::npos) {
    candidate = file;
  } else {
    const fs::path local = ProgramLibDirectory() / file;
    if (fs::exists(local, ec)) candidate = local.string();
  }
  if (!candidate.empty()) {
    if (!fs::exists(candidate, ec))
      throw RuntimeError(errFileNotFound, {}, QStringLiteral("File not found: ") + displayName(name_));
    handle_ = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw RuntimeError(errDllLoad);
    return;
  }
  // Not beside the program: the normal search path.
  dlerror();
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_) return;
  const char* why = dlerror();
  const std::string reason = why ? why : "";
  // Only the library itself missing is "file not found"; a missing dependency is a load error.
  if (reason.rfind(file + ":", 0) == 0 && reason.find("No such file") != std::string::npos)
    throw RuntimeError(errFileNotFound, {}, QStringLiteral("File not found: ") + displayName(name_));
  throw RuntimeError(errDllLoad);
}

void* SharedLibrary::symbol(const char* entry) {
  load();
  dlerror();
  void* p = dlsym(handle_, entry);
  if (!p)
    throw RuntimeError(errDllEntryNotFound, {},
                       QStringLiteral("Can't find DLL entry point %1 in %2")
                           .arg(QString::fromLatin1(entry), displayName(name_)));
  return p;
}

}  // namespace sv
