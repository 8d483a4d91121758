#include "wav_io.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace svvqf {

namespace {

uint32_t LE32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

WavReader::Status WavReader::Open(const std::string& path) {
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_) return Status::kCannotOpen;
  struct stat st {};
  if (fstat(fileno(file_.get()), &st) != 0 || S_ISDIR(st.st_mode)) return Status::kCannotOpen;
  const int64_t fileSize = st.st_size;
  uint8_t head[12];
  if (std::fread(head, 1, 12, file_.get()) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0)
    return Status::kNotUsable;
  bool haveFormat = false;
  int64_t pos = 12;
  for (;;) {
    uint8_t ch[8];
    if (std::fread(ch, 1, 8, file_.get()) != 8) return Status::kNotUsable;
    pos += 8;
    const uint32_t size = LE32(ch + 4);
    if (std::memcmp(ch, "fmt ", 4) == 0) {
      if (size < 16 || size > 4096) return Status::kNotUsable;
      std::vector<uint8_t> fmt(size);
      if (std::fread(fmt.data(), 1, size, file_.get()) != size) return Status::kNotUsable;
      uint16_t tag = LE16(fmt.data());
      if (tag == 0xFFFE && size >= 40) tag = LE16(fmt.data() + 24);  // extensible: the sub-format
      channels_ = LE16(fmt.data() + 2);
      rate_ = static_cast<int>(LE32(fmt.data() + 4));
      const int bits = LE16(fmt.data() + 14);
      if (tag != 1 || bits != 16 || channels_ < 1 || channels_ > 2 || rate_ < 1000 || rate_ > 384000)
        return Status::kNotUsable;
      haveFormat = true;
      pos += size;
      if (size & 1) {
        std::fseek(file_.get(), 1, SEEK_CUR);
        ++pos;
      }
    } else if (std::memcmp(ch, "data", 4) == 0) {
      if (!haveFormat) return Status::kNotUsable;
      // Streamed writers leave the size open or too large: take what the file holds.
      const int64_t avail = std::max<int64_t>(0, fileSize - pos);
      const int64_t bytes = std::min<int64_t>(size, avail);
      frames_ = left_ = bytes / (2 * channels_);
      return Status::kOk;
    } else {
      const int64_t skip = static_cast<int64_t>(size) + (size & 1);
      if (std::fseek(file_.get(), static_cast<long>(skip), SEEK_CUR) != 0) return Status::kNotUsable;
      pos += skip;
      if (pos > fileSize) return Status::kNotUsable;
    }
  }
}

int64_t WavReader::Read(int16_t* out, int64_t frames) {
  const int64_t want = std::min(frames, left_);
  if (want <= 0) return 0;
  const size_t got =
      std::fread(out, static_cast<size_t>(2 * channels_), static_cast<size_t>(want), file_.get());
  if (static_cast<int64_t>(got) < want && std::ferror(file_.get())) return -1;
  left_ -= static_cast<int64_t>(got);
  if (got == 0) left_ = 0;
  // WAV is little-endian, as is every machine this builds for; swap elsewhere.
  if constexpr (std::endian::native == std::endian::big)
    for (size_t i = 0; i < got * channels_; ++i)
      out[i] = static_cast<int16_t>(static_cast<uint16_t>(out[i]) >> 8 | static_cast<uint16_t>(out[i]) << 8);
  return static_cast<int64_t>(got);
}

bool WavWriter::Open(const std::string& path, int channels, int rate) {
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) return false;
  channels_ = channels;
  rate_ = rate;
  ok_ = WriteHeader();
  return ok_;
}

bool WavWriter::WriteHeader() {
  uint8_t h[44];
  const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(dataBytes_, 0xFFFFFFFFu - 36));
  std::memcpy(h, "RIFF", 4);
  PutLE32(h + 4, 36 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  PutLE32(h + 16, 16);
  PutLE16(h + 20, 1);
  PutLE16(h + 22, static_cast<uint16_t>(channels_));
  PutLE32(h + 24, static_cast<uint32_t>(rate_));
  PutLE32(h + 28, static_cast<uint32_t>(rate_ * channels_ * 2));
  PutLE16(h + 32, static_cast<uint16_t>(channels_ * 2));
  PutLE16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  PutLE32(h + 40, data);
  return std::fwrite(h, 1, 44, file_.get()) == 44;
}

bool WavWriter::Write(const int16_t* pcm, int64_t frames) {
  if (!file_ || !ok_) return false;
  const size_t n = static_cast<size_t>(frames) * channels_;
  // Past what a WAV header can state, nothing more is written: the header stays true.
  if (dataBytes_ + 2 * n > 0xFFFFFFFFu - 36) return ok_ = false;
  if (std::fwrite(pcm, 2, n, file_.get()) != n) {
    ok_ = false;
    // Keep the header true to the whole samples that did reach the file.
    std::fflush(file_.get());
    const long end = std::ftell(file_.get());
    if (end >= 44) dataBytes_ = static_cast<uint64_t>(end - 44) / (2 * channels_) * (2 * channels_);
    return false;
  }
  dataBytes_ += 2 * n;
  return true;
}

bool WavWriter::Close() {
  if (!file_) return false;
  bool ok = ok_;
  if (std::fseek(file_.get(), 0, SEEK_SET) != 0 || !WriteHeader()) ok = false;
  if (std::fflush(file_.get()) != 0) ok = false;
  if (std::fclose(file_.release()) != 0) ok = false;
  return ok;
}

WavWriter::~WavWriter() {
  if (file_) Close();
}

}  // namespace svvqf
