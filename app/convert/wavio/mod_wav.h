// modWAV: reading the header of a WAV file.
#pragma once

#include <cstdint>
#include <string>

namespace modWAV {

// The canonical 44-byte header, field by field.
struct WavHeader {
  char ChunkId[4];    // "RIFF"
  int32_t RiffSize;   // file length - 8
  char FormType[4];   // "WAVE"
  char FmtId[4];      // "fmt "
  int32_t FmtSize;    // 16 for plain PCM
  int16_t FormatTag;  // 1 integer PCM, 3 float, -2 (0xFFFE) extensible, ...
  int16_t Channels;
  int32_t SampleRate;  // Hz, as stored (0 stays 0)
  int32_t BytesPerSecond;
  int16_t BlockAlign;
  int16_t BitsPerSample;
  char DataId[4];    // "data"
  int32_t DataSize;  // sample bytes, as stored
};
static_assert(sizeof(WavHeader) == 44, "WavHeader must match the 44-byte header");

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// Where the samples are, found by walking the chunk list.
struct WavLayout {
  bool IsRiffWave = false;    // starts with "RIFF" .... "WAVE"
  bool HasFormat = false;     // a "fmt " chunk of at least 16 bytes was found
  bool HasData = false;       // a "data" chunk was found
  uint16_t SampleFormat = 0;  // format tag; for extensible files the sub-format's tag
  int64_t DataOffset = 0;     // file offset of the first sample byte
  int64_t DataBytes = 0;      // sample bytes actually in the file (the chunk size, cut at the end)
};

// Fills `record` from the file and gives 0. The "fmt " and "data" fields come from the
// chunks of those names wherever they lie (tools often put a "LIST" chunk before the
// samples); every field of a canonical file reads exactly its bytes 0 to 43. A missing or
// short file leaves zeros where it has no bytes. The file is only read, never created.
int16_t ReadWavHeader(const std::string& path, WavHeader& record);
int16_t ReadWavHeader(const std::string& path, WavHeader& record, WavLayout& layout);

// True for 16-bit integer PCM with a data chunk: the only samples the encoders take.
bool IsPcm16(const WavHeader& header, const WavLayout& layout);

}  // namespace modWAV
