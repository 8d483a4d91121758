// The disc image of the CD benchmarks: ten tracks of music length, `minutes` in all, written on
// first use to a folder of its own and kept for the next run. Depends on the tests' image writer.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "disc_images.h"

namespace bench {

// The image's cue sheet, also set as the disc folder; empty (with a message) when the folder
// holds other images, which would be listed as drives too.
inline std::filesystem::path BenchDisc(int minutes, const std::filesystem::path& folder,
                                       const std::string& prefix) {
  namespace fs = std::filesystem;
  setenv("SONVERA_DISC_DIR", folder.c_str(), 1);
  const int total = minutes * 60 * 75;
  std::vector<int> lengths(10, total / 10);
  lengths.back() += total % 10;
  const std::string name = prefix + std::to_string(minutes);
  const fs::path cue = folder / (name + ".cue");
  if (!fs::exists(cue)) {
    std::printf("writing a %d-minute image to %s ...\n", minutes, folder.c_str());
    sv::discs::WriteCueBin(folder, sv::discs::AudioDisc(name, lengths));
  }
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ".cue" && e.path() != cue) {
      std::fprintf(stderr, "%s holds other images; use a folder of its own\n", folder.c_str());
      return {};
    }
  return cue;
}

}  // namespace bench
