#include "cli/disc_commands.h"

#include "cli/convert_run.h"

#include <cstdio>

namespace sv::cli {

int ListDrives() { return kExitFailed; }
int WriteDisc(const CliSettings&) { return kExitFailed; }
int GrabTracks(const CliSettings&) {
  std::fputs("sonvera-convert: grabbing tracks is not available in this build\n", stderr);
  return kExitFailed;
}

}  // namespace sv::cli
