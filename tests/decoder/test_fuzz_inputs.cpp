// The fuzz targets' stored inputs (seeds and the findings kept as regressions) replayed through
// the core driver and the exported calls, so that the sanitizer build runs them with every test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "core_driver.h"
#include "layer3_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> StoredInputs(const char* folder) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(SVD_FUZZ_DIR) / folder;
  if (fs::is_directory(dir))
    for (const auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Seeds are whole streams: whatever their last bytes steer, frames come out. Findings kept
// from fuzzing (fuzz/regressions) only have to run clean.
TEST(FuzzInputs, StoredInputsRunCleanThroughTheCoreAndTheExports) {
  const std::vector<fs::path> seeds = StoredInputs("corpus");
  ASSERT_FALSE(seeds.empty());
  std::vector<fs::path> all = seeds;
  for (const fs::path& f : StoredInputs("regressions")) all.push_back(f);
  for (const fs::path& f : all) {
    const bool seed = std::find(seeds.begin(), seeds.end(), f) != seeds.end();
    const std::vector<uint8_t> bytes = l3_test::Load(f);
    const int frames = svd_fuzz::DriveCore(bytes.data(), bytes.size());
    if (seed) {
      EXPECT_GT(frames, 0) << f.filename();
    }
    const fs::path copy = l3_test::Scratch("input.mp3");
    l3_test::Save(copy, bytes);
    const l3_test::Decoded d = l3_test::DecodeThroughExports(copy, 100000);
    EXPECT_EQ(d.last, SVD_E_END_OF_INPUT) << f.filename();
    if (seed) {
      EXPECT_GT(d.frames, 0) << f.filename();
    }
  }
}

}  // namespace
