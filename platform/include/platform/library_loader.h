#pragma once
// Our shared libraries are loaded by name at their first call, as a declared DLL is.
#include <filesystem>
#include <string>
#include <utility>

namespace sv {

// The directory the program's shared libraries live in: <executable dir>/../lib.
std::filesystem::path ProgramLibDirectory();
// The directory of the running executable.
std::filesystem::path ProgramDirectory();

// One shared library. The name is a bare name ("svogg" → libsvogg.so), a file name
// ("libsvogg.so") or a path. It is looked up in ProgramLibDirectory() first, then on the
// normal search path. Failures are RuntimeErrors:
//   53 "File not found: <name>"   the library is nowhere to be found
//   48 "Error in loading DLL"     it exists but cannot be loaded
//   453 "Can't find DLL entry point <entry> in <name>"   the entry point is missing
class SharedLibrary {
 public:
  explicit SharedLibrary(std::string name);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  const std::string& name() const { return name_; }
  bool loaded() const { return handle_ != nullptr; }

  // Loads the library if needed and resolves the entry point; throws on failure.
  void load();
  void* symbol(const char* entry);

  template <typename Fn>
  Fn function(const char* entry) {
    return reinterpret_cast<Fn>(symbol(entry));
  }

 private:
  std::string name_;
  void* handle_ = nullptr;
};

// A function of a shared library, resolved at its first call and remembered.
template <typename Signature>
class LazyFunction;

template <typename R, typename... Args>
class LazyFunction<R(Args...)> {
 public:
  using Pointer = R (*)(Args...);

  LazyFunction(SharedLibrary& library, const char* entry) : library_(library), entry_(entry) {}

  R operator()(Args... args) { return get()(std::forward<Args>(args)...); }

  Pointer get() {
    if (!fn_) fn_ = library_.function<Pointer>(entry_);
    return fn_;
  }

 private:
  SharedLibrary& library_;
  const char* entry_;
  Pointer fn_ = nullptr;
};

}  // namespace sv
