// Shared by the file input and output modules.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "module.h"

namespace svd {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The device table a file module's query answers from.
struct DeviceEntry {
  const char* name;
  const char* description;
  int32_t flags;
};

template <std::size_t N>
int32_t QueryModule(ModuleInfo* info, int32_t flags, const char* module_name, const char* version,
                    const DeviceEntry (&devices)[N]) {
  if (!info) return SVD_E_INVALID_PARAMETER;
  if (flags & kQueryDevice) {
    const int32_t index = info->count_or_index;
    if (index < 0 || index >= static_cast<int32_t>(N)) return SVD_E_INVALID_PARAMETER;
    info->name = devices[index].name;
    info->description = devices[index].description;
    info->device_flags = devices[index].flags;
  } else if (flags & kQueryName) {
    info->name = module_name;
    info->description = version;
  }
  if (flags & kQueryCount) info->count_or_index = static_cast<int32_t>(N);
  return 0;
}

inline void ReportModuleError(Decoder* decoder, const int32_t* module_id, const char* source,
                              const char* message) {
  if (decoder) ServicesOf(decoder).report_error(decoder, module_id ? *module_id : 0, source, message);
}

}  // namespace svd
