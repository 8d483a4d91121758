#include "codec_io/wav_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "codec_io/call.h"
#include "svcodec.h"

namespace svcodec {
namespace {

static_assert(std::endian::native == std::endian::little, "WAV samples are read in place");

constexpr uint16_t kPcm = 1;
constexpr uint16_t kExtensible = 0xFFFE;

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

int32_t WavSource::Open(const char* path) {
  file_.reset(std::fopen(path, "rb"));
  if (!file_) return SVC_E_SOURCE_OPEN;
  std::FILE* f = file_.get();
  struct stat st {};
  if (::fstat(fileno(f), &st) != 0) return SVC_E_SOURCE_OPEN;
  if (!S_ISREG(st.st_mode)) return SVC_E_SOURCE_FORMAT;
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);

  uint8_t riff[12];
  if (std::fread(riff, 1, sizeof riff, f) != sizeof riff)
    return std::ferror(f) ? SVC_E_SOURCE_OPEN : SVC_E_SOURCE_FORMAT;
  if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return SVC_E_SOURCE_FORMAT;

  // Walk the chunks up to "data"; "fmt " must come first, as every writer puts it.
  bool haveFormat = false;
  uint64_t pos = 12;
  for (;;) {
    uint8_t head[8];
    if (std::fseek(f, static_cast<long>(pos), SEEK_SET) != 0 || std::fread(head, 1, 8, f) != 8)
      return std::ferror(f) ? SVC_E_SOURCE_OPEN : SVC_E_SOURCE_FORMAT;
    const uint32_t size = le32(head + 4);
    const uint64_t body = pos + 8;
    if (std::memcmp(head, "fmt ", 4) == 0) {
      uint8_t fmt[26] = {};
      if (size < 16 || std::fread(fmt, 1, std::min<size_t>(size, sizeof fmt), f) < 16)
        return SVC_E_SOURCE_FORMAT;
      uint16_t tag = le16(fmt);
      if (tag == kExtensible && size >= 26) tag = le16(fmt + 24);  // the sub-format's own tag
      channels_ = le16(fmt + 2);
      rate_ = static_cast<int>(std::min<uint32_t>(le32(fmt + 4), 1u << 30));
      const uint16_t align = le16(fmt + 12), bits = le16(fmt + 14);
      if (tag != kPcm || bits != 16 || channels_ < 1 || channels_ > 2 || rate_ < 1 || align != 2 * channels_)
        return SVC_E_SOURCE_FORMAT;
      haveFormat = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat) return SVC_E_SOURCE_FORMAT;
      const uint64_t present = fileSize > body ? fileSize - body : 0;
      const uint64_t claimed = size == 0xFFFFFFFFu ? present : size;
      truncated_ = claimed > present;
      frames_ = std::min(claimed, present) / static_cast<uint64_t>(2 * channels_);
      break;
    }
    pos = body + size + (size & 1);  // chunks are padded to even length
    if (pos >= fileSize) return SVC_E_SOURCE_FORMAT;
  }
  std::setvbuf(f, nullptr, _IOFBF, 64 * 1024);
  return SVC_OK;
}

int64_t WavSource::Read(int16_t* out, size_t frames) {
  const uint64_t want = std::min<uint64_t>(frames, frames_ - read_);
  if (want == 0) return 0;
  const size_t got =
      std::fread(out, static_cast<size_t>(2 * channels_), static_cast<size_t>(want), file_.get());
  if (got < want) {
    if (std::ferror(file_.get())) return -1;
    truncated_ = true;  // the file shrank since it was opened
    frames_ = read_ + got;
  }
  read_ += got;
  return static_cast<int64_t>(got);
}

int32_t WavSource::Step(int16_t* cancel, int16_t* out, size_t frames, int64_t& got) {
  got = 0;
  if (Cancelled(cancel)) return SVC_E_CANCELLED;
  got = Read(out, frames);
  return got < 0 ? SVC_E_SOURCE_OPEN : SVC_OK;
}

}  // namespace svcodec
