// Where the control keeps its files.
#pragma once

#include <filesystem>

namespace cdw {

// The disc folder, where disc images are written and read as drives: SONVERA_DISC_DIR, else
// $XDG_DATA_HOME/sonvera/discs (~/.local/share/sonvera/discs). Not made here.
std::filesystem::path DiscFolder();
// Decoded MP3s wait here during a burn: $XDG_CACHE_HOME/sonvera (~/.cache/sonvera).
std::filesystem::path CacheFolder();

}  // namespace cdw
