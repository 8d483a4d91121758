#include "OutsideCodecs.h"

#include "platform/fault_guard.h"
#include "platform/library_loader.h"

#include <map>
#include <memory>

namespace sv::codecs {
namespace {

std::map<std::string, std::unique_ptr<SharedLibrary>>& libraries() {
  static std::map<std::string, std::unique_ptr<SharedLibrary>> libs;
  return libs;
}

SharedLibrary& library(const std::string& name) {
  auto& slot = libraries()[name];
  if (!slot) slot = std::make_unique<SharedLibrary>(name);
  return *slot;
}

}  // namespace

void SetLibraryName(const std::string& library, const std::string& nameOrPath) {
  libraries()[library] = std::make_unique<SharedLibrary>(nameOrPath);
}

std::int32_t OGGDecode(const char* source, const char* destination, CodecProgressProc progress,
                       std::int16_t* cancel) {
  auto fn = library("svogg").function<OGGDecodeProc>("OGGDecode");
  return GuardedCall([&] { return fn(source, destination, progress, cancel); });
}

std::int32_t VQFDecode(const char* source, const char* destination, const VqfDecodeProgressProc* progressCell,
                       std::int16_t* cancel) {
  auto fn = library("svvqf").function<VQFDecodeProc>("VQFDecode");
  return GuardedCall([&] { return fn(source, destination, progressCell, cancel); });
}

}  // namespace sv::codecs
