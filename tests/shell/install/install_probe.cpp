// Copied beside an installed sonvera, it loads each library the program loads by name, the
// way the program does (from <bin>/../lib first), and resolves their entry points.
//   install_probe name:entry[,entry...] ...
#include "platform/library_loader.h"
#include "platform/runtime_error.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string spec = argv[i];
    const auto colon = spec.find(':');
    sv::SharedLibrary library(spec.substr(0, colon));
    std::string entries = colon == std::string::npos ? "" : spec.substr(colon + 1);
    try {
      library.load();
      while (!entries.empty()) {
        const auto comma = entries.find(',');
        library.symbol(entries.substr(0, comma).c_str());
        entries = comma == std::string::npos ? "" : entries.substr(comma + 1);
      }
      std::printf("%s: loaded from %s\n", library.name().c_str(), sv::ProgramLibDirectory().c_str());
    } catch (const sv::RuntimeError& error) {
      std::printf("%s: %s\n", library.name().c_str(), error.what());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
