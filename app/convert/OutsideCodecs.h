// The whole-file codec libraries svogg and svvqf as the music-to-WAV job calls them: loaded
// by name at the first call; a missing library or entry point throws RuntimeError (53, 48
// or 453) to the caller.
//
// The calls and the callbacks exchange plain C values: zero-terminated 8-bit paths, 16-bit
// progress arguments, the 16-bit cancel flag by address (0 continue, 1 stop). A library
// calls the callback synchronously during its call, never after it returns.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
// One percentage, 0 to 100; the result is always 0.
typedef std::int16_t (*CodecProgressProc)(std::int16_t percent);
// The VQF decoder reports (position, rate) instead.
typedef std::int16_t (*VqfDecodeProgressProc)(std::int16_t position, std::int16_t rate);

// svogg: source, destination WAV, callback by value, cancel flag.
typedef std::int32_t (*OGGDecodeProc)(const char* source, const char* destination, CodecProgressProc progress,
                                      std::int16_t* cancel);
// svvqf: source, destination WAV, the address of a cell holding the callback, cancel flag.
typedef std::int32_t (*VQFDecodeProc)(const char* source, const char* destination,
                                      const VqfDecodeProgressProc* progressCell, std::int16_t* cancel);
}

namespace sv::codecs {

std::int32_t OGGDecode(const char* source, const char* destination, CodecProgressProc progress,
                       std::int16_t* cancel);
std::int32_t VQFDecode(const char* source, const char* destination, const VqfDecodeProgressProc* progressCell,
                       std::int16_t* cancel);

// Where the libraries are looked for ("svogg", "svvqf" by default); takes effect at the
// next call. For tests and benchmarks that bring their own.
void SetLibraryName(const std::string& library, const std::string& nameOrPath);

}  // namespace sv::codecs
