// The disc commands of sonvera-convert: listing drives, images and writers; writing files as
// an audio disc (a CUE/BIN image or a writer, through the cdwriter component); grabbing tracks.
#pragma once

#include "cli/cli_options.h"

namespace sv::cli {

int ListDrives();
int WriteDisc(const CliSettings& settings);
int GrabTracks(const CliSettings& settings);

}  // namespace sv::cli
