// libFuzzer target for VQFDecode: each input is taken as a VQF file (mutated from the seed
// files in fuzz/corpus_vqf, which the encoder made) and decoded to a WAV, which must then
// state exactly what it holds.
#include "svvqf.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace {
std::string source, destination;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);  // damaged frames are the point here
  const std::string dir = "/tmp/fuzz-vqf-" + std::to_string(getpid());
  source = dir + ".vqf";
  destination = dir + ".wav";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(source.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  std::remove(destination.c_str());
  int16_t cancel = 0;
  const int32_t r = VQFDecode(source.c_str(), destination.c_str(), nullptr, &cancel);
  if (r < SVC_OK || r > SVC_E_INTERNAL) std::abort();
  // Whatever happened, a WAV that was started states its true size.
  if (std::FILE* w = std::fopen(destination.c_str(), "rb")) {
    uint8_t h[44];
    const size_t got = std::fread(h, 1, 44, w);
    std::fseek(w, 0, SEEK_END);
    const long total = std::ftell(w);
    std::fclose(w);
    if (got == 44) {
      const uint32_t data = h[40] | h[41] << 8 | h[42] << 16 | uint32_t(h[43]) << 24;
      if (data != static_cast<uint32_t>(total - 44)) std::abort();
    }
  }
  return 0;
}
