#include "convert/core/decoder_library.h"

#include "platform/library_loader.h"

namespace sv::svdecode {
namespace {

SharedLibrary& library() {
  static SharedLibrary lib("svdecode");
  return lib;
}

#define SVDECODE_ENTRY(name, signature)                  \
  LazyFunction<signature>& name##Entry() {               \
    static LazyFunction<signature> fn(library(), #name); \
    return fn;                                           \
  }

SVDECODE_ENTRY(CreateDecoder, std::int32_t())
SVDECODE_ENTRY(DeleteDecoder, std::int32_t())
SVDECODE_ENTRY(RegisterInputModule, std::int32_t())
SVDECODE_ENTRY(RegisterOutputModule, std::int32_t())
SVDECODE_ENTRY(Mp3InputOpen, std::int32_t(const char*))
SVDECODE_ENTRY(WaveOutputOpen, std::int32_t(const char*))
SVDECODE_ENTRY(Mp3DecodePlay, std::int32_t())
SVDECODE_ENTRY(Mp3InputClose, std::int32_t())
SVDECODE_ENTRY(WaveOutputClose, std::int32_t())
SVDECODE_ENTRY(GetCurrentPosition, float())
SVDECODE_ENTRY(SeekToPosition, std::int32_t(float))
SVDECODE_ENTRY(SeekToTime, std::int32_t(float))
SVDECODE_ENTRY(GetCurrentTimeSecond, double())

#undef SVDECODE_ENTRY

}  // namespace

std::int32_t CreateDecoder() { return CreateDecoderEntry()(); }
std::int32_t DeleteDecoder() { return DeleteDecoderEntry()(); }
std::int32_t RegisterInputModule() { return RegisterInputModuleEntry()(); }
std::int32_t RegisterOutputModule() { return RegisterOutputModuleEntry()(); }
std::int32_t Mp3InputOpen(const char* name) { return Mp3InputOpenEntry()(name); }
std::int32_t WaveOutputOpen(const char* name) { return WaveOutputOpenEntry()(name); }
std::int32_t Mp3DecodePlay() { return Mp3DecodePlayEntry()(); }
std::int32_t Mp3InputClose() { return Mp3InputCloseEntry()(); }
std::int32_t WaveOutputClose() { return WaveOutputCloseEntry()(); }
float GetCurrentPosition() { return GetCurrentPositionEntry()(); }
std::int32_t SeekToPosition(float position) { return SeekToPositionEntry()(position); }
std::int32_t SeekToTime(float seconds) { return SeekToTimeEntry()(seconds); }
double GetCurrentTimeSecond() { return GetCurrentTimeSecondEntry()(); }

}  // namespace sv::svdecode
