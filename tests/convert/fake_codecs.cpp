// Stand-ins for the whole-file codec libraries: they report progress through the callback
// they are given, watch the cancel flag, and write a small file naming what they were asked.
// A source path containing "result-N" makes a call return N; with "partial" it first
// writes a few bytes, as a library that fails part way through would.
#include "svcodec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FAKE_API extern "C" __attribute__((visibility("default")))

extern "C" __attribute__((visibility("default"))) int FakeCallsMade;
int FakeCallsMade = 0;

namespace {

int requestedResult(const char* source) {
  const char* at = std::strstr(source, "result-");
  return at ? std::atoi(at + 7) : SVC_OK;
}

int finish(const std::string& text, const char* source, const char* destination) {
  const int result = requestedResult(source);
  if (result != SVC_OK && !std::strstr(source, "partial")) return result;
  if (FILE* f = std::fopen(destination, "wb")) {
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  return result;
}

// Reports 0 to 100 in `step`s; gives true when the caller asked to stop.
bool report(CodecProgressProc progress, int step, const int16_t* cancel) {
  for (int p = 0; p <= 100; p += step) {
    progress(static_cast<int16_t>(p));
    if (*cancel == 1) return true;
  }
  return false;
}

}  // namespace

FAKE_API int32_t OGGDecode(const char* source, const char* destination, CodecProgressProc progress,
                           int16_t* cancel) {
  ++FakeCallsMade;
  if (report(progress, 25, cancel)) return SVC_E_CANCELLED;
  return finish(std::string("OGG:") + source, source, destination);
}

FAKE_API int32_t VQFDecode(const char* source, const char* destination,
                           const VqfDecodeProgressProc* progressCell, int16_t* cancel) {
  ++FakeCallsMade;
  // With a 1000-byte source and rate 96 the estimate is 153 positions.
  for (int position = 0; position <= 153; position += 51) {
    (*progressCell)(static_cast<int16_t>(position), 96);
    if (*cancel == 1) return SVC_E_CANCELLED;
  }
  return finish(std::string("VQF:") + source, source, destination);
}

FAKE_API int32_t WMADecode(const char* source, const char* destination, CodecProgressProc progress,
                           int16_t* cancel) {
  ++FakeCallsMade;
  if (report(progress, 50, cancel)) return SVC_E_CANCELLED;
  return finish(std::string("WMA:") + source, source, destination);
}

FAKE_API int32_t OGGEncode(const char* source, const char* destination, int32_t sampleRate, int32_t level,
                           CodecProgressProc progress, int16_t* cancel) {
  ++FakeCallsMade;
  if (report(progress, 50, cancel)) return SVC_E_CANCELLED;
  return finish(
      "OGG-ENC:" + std::string(source) + ":" + std::to_string(sampleRate) + ":" + std::to_string(level),
      source, destination);
}

FAKE_API int32_t VQFEncode(const char* source, const char* destination, int32_t rateKHz, int32_t bitRateKbps,
                           const CodecProgressProc* progressCell, int16_t* cancel) {
  ++FakeCallsMade;
  if (report(*progressCell, 50, cancel)) return SVC_E_CANCELLED;
  return finish(
      "VQF-ENC:" + std::string(source) + ":" + std::to_string(rateKHz) + ":" + std::to_string(bitRateKbps),
      source, destination);
}

FAKE_API int32_t WMAEncode(const char* source, const char* destination, uint8_t profile,
                           CodecProgressProc progress, int16_t* cancel) {
  ++FakeCallsMade;
  if (report(progress, 50, cancel)) return SVC_E_CANCELLED;
  return finish("WMA-ENC:" + std::string(source) + ":" + std::to_string(profile), source, destination);
}
