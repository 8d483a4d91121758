// Entry points a component host looks for. There is no registry of components here: the
// program links the classes directly, so registering and unregistering succeed without
// doing anything, and no class factory is handed out.
#include <cstdint>

namespace {
constexpr int32_t kOk = 0;     // S_OK
constexpr int32_t kFalse = 1;  // S_FALSE
constexpr int32_t kClassNotAvailable = static_cast<int32_t>(0x80040111u);
}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t DllRegisterServer() { return kOk; }

__attribute__((visibility("default"))) int32_t DllUnregisterServer() { return kOk; }

__attribute__((visibility("default"))) int32_t DllGetClassObject(const void*, const void*, void** object) {
  if (object) *object = nullptr;
  return kClassNotAvailable;
}

// Objects live in the program's own code; the library can be unloaded when nothing is open.
__attribute__((visibility("default"))) int32_t DllCanUnloadNow() { return kFalse; }
}
