// Stand-ins for the whole-file codec libraries: they report progress through the callback
// they are given, watch the cancel flag, and write a small file naming their source.
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" {
typedef std::int16_t (*CodecProgressProc)(std::int16_t percent);
typedef std::int16_t (*VqfDecodeProgressProc)(std::int16_t position, std::int16_t rate);

__attribute__((visibility("default"))) int FakeCallsMade = 0;

static int finish(const char* kind, const char* source, const char* destination) {
  if (FILE* f = std::fopen(destination, "wb")) {
    std::fprintf(f, "%s:%s", kind, source);
    std::fclose(f);
  }
  return 0;
}

__attribute__((visibility("default"))) std::int32_t OGGDecode(const char* source, const char* destination,
                                                              CodecProgressProc progress,
                                                              std::int16_t* cancel) {
  ++FakeCallsMade;
  for (int p = 0; p <= 100; p += 25) {
    progress(static_cast<std::int16_t>(p));
    if (*cancel == 1) return 1;
  }
  return finish("OGG", source, destination);
}

__attribute__((visibility("default"))) std::int32_t VQFDecode(const char* source, const char* destination,
                                                              const VqfDecodeProgressProc* progressCell,
                                                              std::int16_t* cancel) {
  ++FakeCallsMade;
  // With a 1000-byte source and rate 96 the estimate is 153 positions.
  for (int position = 0; position <= 153; position += 51) {
    (*progressCell)(static_cast<std::int16_t>(position), 96);
    if (*cancel == 1) return 1;
  }
  return finish("VQF", source, destination);
}
}
