// Arbitrary bytes as an OGG (or, built with FUZZ_WMA, a WMA) file, decoded to WAV through
// the exported call. Besides crashes, leaks and out-of-bounds accesses, a WAV whose header
// does not describe its own bytes, or a result outside the documented codes, is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "svcodec.h"

#ifdef FUZZ_WMA
extern "C" {
#include <libavutil/log.h>
}
extern "C" int32_t WMADecode(const char*, const char*, CodecProgressProc, int16_t*);
#define DECODE WMADecode
#else
extern "C" int32_t OGGDecode(const char*, const char*, CodecProgressProc, int16_t*);
#define DECODE OGGDecode
#endif

namespace {

std::string TempName(const char* suffix) { return "/tmp/svc_fuzz_" + std::to_string(getpid()) + suffix; }

struct Scratch {
  std::string input = TempName(".in");
  std::string wav = TempName(".wav");
  ~Scratch() {
    std::remove(input.c_str());
    std::remove(wav.c_str());
  }
};

int gLast = -1;
int16_t progress(int16_t percent) {
  if (percent < 0 || percent > 100 || percent <= gLast) std::abort();  // whole percents, rising
  gLast = percent;
  return 0;
}

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A WAV left behind must say exactly how many bytes it holds.
void checkWav(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  std::vector<uint8_t> b(96);
  b.resize(std::fread(b.data(), 1, b.size(), f));
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fclose(f);
  if (size == 0) return;  // nothing claims to be audio
  if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0) std::abort();
  const uint32_t fmtSize = le32(b.data() + 16);
  const size_t data = 20 + fmtSize;
  if (data + 8 > b.size() || std::memcmp(b.data() + data, "data", 4) != 0) std::abort();
  if (le32(b.data() + 4) != uint32_t(size - 8) || le32(b.data() + data + 4) != uint32_t(size) - (data + 8))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
#ifdef FUZZ_WMA
  static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
  (void)quiet;
#endif
  FILE* f = std::fopen(scratch.input.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  std::remove(scratch.wav.c_str());

  int16_t cancel = 0;
  gLast = -1;
  const int32_t r = DECODE(scratch.input.c_str(), scratch.wav.c_str(), &progress, &cancel);
  if (r < SVC_OK || r > SVC_E_INTERNAL || r == SVC_E_ARGUMENT) std::abort();
  checkWav(scratch.wav);
  return 0;
}
