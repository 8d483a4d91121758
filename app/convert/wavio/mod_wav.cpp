#include "mod_wav.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

namespace modWAV {
namespace {

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Raw 44 bytes, field by field, little-endian whatever the host.
void decode(const uint8_t* b, WavHeader& h) {
  std::memcpy(h.ChunkId, b, 4);
  h.RiffSize = static_cast<int32_t>(le32(b + 4));
  std::memcpy(h.FormType, b + 8, 4);
  std::memcpy(h.FmtId, b + 12, 4);
  h.FmtSize = static_cast<int32_t>(le32(b + 16));
  h.FormatTag = static_cast<int16_t>(le16(b + 20));
  h.Channels = static_cast<int16_t>(le16(b + 22));
  h.SampleRate = static_cast<int32_t>(le32(b + 24));
  h.BytesPerSecond = static_cast<int32_t>(le32(b + 28));
  h.BlockAlign = static_cast<int16_t>(le16(b + 32));
  h.BitsPerSample = static_cast<int16_t>(le16(b + 34));
  std::memcpy(h.DataId, b + 36, 4);
  h.DataSize = static_cast<int32_t>(le32(b + 40));
}

bool readAt(std::ifstream& in, int64_t pos, uint8_t* p, size_t n) {
  in.clear();
  in.seekg(pos);
  in.read(reinterpret_cast<char*>(p), static_cast<std::streamsize>(n));
  return in.gcount() == static_cast<std::streamsize>(n);
}

}  // namespace

int16_t ReadWavHeader(const std::string& path, WavHeader& record) {
  WavLayout layout;
  return ReadWavHeader(path, record, layout);
}

int16_t ReadWavHeader(const std::string& path, WavHeader& record, WavLayout& layout) {
  std::array<uint8_t, 44> raw{};
  layout = WavLayout{};
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    decode(raw.data(), record);
    return 0;
  }
  in.seekg(0, std::ios::end);
  const int64_t fileSize = static_cast<int64_t>(in.tellg());
  in.seekg(0);
  in.read(reinterpret_cast<char*>(raw.data()), raw.size());
  decode(raw.data(), record);  // the canonical reading; chunks found below refine it

  layout.IsRiffWave = std::memcmp(raw.data(), "RIFF", 4) == 0 && std::memcmp(raw.data() + 8, "WAVE", 4) == 0;
  if (!layout.IsRiffWave) return 0;

  // Each step moves on by at least 8 bytes, so the walk ends at the end of the file.
  int64_t pos = 12;
  while (pos + 8 <= fileSize && !(layout.HasFormat && layout.HasData)) {
    uint8_t head[8];
    if (!readAt(in, pos, head, sizeof head)) break;
    const uint32_t size = le32(head + 4);
    const int64_t body = pos + 8;
    if (!layout.HasFormat && std::memcmp(head, "fmt ", 4) == 0 && size >= 16) {
      uint8_t fmt[40] = {};
      const size_t want = std::min<size_t>(size, sizeof fmt);
      if (readAt(in, body, fmt, want) || in.gcount() >= 16) {
        std::memcpy(record.FmtId, head, 4);
        record.FmtSize = static_cast<int32_t>(size);
        record.FormatTag = static_cast<int16_t>(le16(fmt));
        record.Channels = static_cast<int16_t>(le16(fmt + 2));
        record.SampleRate = static_cast<int32_t>(le32(fmt + 4));
        record.BytesPerSecond = static_cast<int32_t>(le32(fmt + 8));
        record.BlockAlign = static_cast<int16_t>(le16(fmt + 12));
        record.BitsPerSample = static_cast<int16_t>(le16(fmt + 14));
        layout.HasFormat = true;
        layout.SampleFormat = le16(fmt);
        // Extensible: the sub-format GUID at byte 24 begins with the real format tag.
        if (layout.SampleFormat == kFormatExtensible && want >= 26) layout.SampleFormat = le16(fmt + 24);
      }
    } else if (!layout.HasData && std::memcmp(head, "data", 4) == 0) {
      std::memcpy(record.DataId, head, 4);
      record.DataSize = static_cast<int32_t>(size);
      layout.HasData = true;
      layout.DataOffset = body;
      layout.DataBytes = std::clamp<int64_t>(fileSize - body, 0, size);
    }
    pos = body + size + (size & 1);  // chunks are padded to even length
  }
  return 0;
}

bool IsPcm16(const WavHeader& header, const WavLayout& layout) {
  return layout.HasFormat && layout.HasData && layout.SampleFormat == kFormatPcm &&
         header.BitsPerSample == 16 && header.Channels >= 1;
}

}  // namespace modWAV
