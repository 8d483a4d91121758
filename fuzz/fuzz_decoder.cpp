// Arbitrary bytes as an input file, decoded through the exported calls with seeks between
// steps. Any crash, leak, out-of-bounds access or endless loop is a finding.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "svdecode.h"

namespace {

std::string TempName(const char* suffix) { return "/tmp/svd_fuzz_" + std::to_string(getpid()) + suffix; }

// Removes the scratch files when the fuzzer exits.
struct Scratch {
  std::string input = TempName(".mp3");
  std::string wav = TempName(".wav");
  ~Scratch() {
    std::remove(input.c_str());
    std::remove(wav.c_str());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  const std::string& input = scratch.input;
  static const std::string output = "wav:" + scratch.wav;
  FILE* f = std::fopen(input.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  // The last bytes steer the seeks: which steps seek and where to.
  uint32_t steer = 0;
  for (size_t i = 0; i < 4 && i < size; ++i) steer = steer << 8 | data[size - 1 - i];

  CreateDecoder();
  RegisterInputModule();
  RegisterOutputModule();
  if (Mp3InputOpen(input.c_str()) == 0 && WaveOutputOpen(output.c_str()) == 0) {
    int seeks = 0;
    for (int step = 0; step < 4000; ++step) {
      const int32_t r = Mp3DecodePlay();
      if (r != 0 && r != SVD_E_STREAM) {
        if (seeks >= 2 || !(steer & 1)) break;
      }
      (void)GetCurrentPosition();
      (void)GetCurrentTimeSecond();
      if (seeks < 3 && ((steer >> (step % 24)) & 7) == 5 && step % 5 == 2) {
        ++seeks;
        if (steer & 2)
          SeekToPosition(static_cast<float>((steer >> 8) & 0xFF) / 200.0f);
        else
          SeekToTime(static_cast<float>((steer >> 16) & 0xFF) / 10.0f);
      }
    }
    Mp3InputClose();
    WaveOutputClose();
  }
  DeleteDecoder();
  return 0;
}
