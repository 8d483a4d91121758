#include "codec_io/file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace svcodec {
namespace {
constexpr size_t kBufferBytes = 256 * 1024;

bool writeAll(int fd, const uint8_t* p, size_t n, uint64_t* counted) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
    if (counted) *counted += static_cast<uint64_t>(w);
  }
  return true;
}
}  // namespace

FileWriter::~FileWriter() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileWriter::Create(const char* path) {
  fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  buffer_.reserve(kBufferBytes);
  return true;
}

bool FileWriter::drain() {
  if (failed_ || fd_ < 0) return false;
  if (!writeAll(fd_, buffer_.data(), buffer_.size(), &onDisk_)) failed_ = true;
  buffer_.clear();
  return !failed_;
}

bool FileWriter::Write(const void* data, size_t bytes) {
  if (failed_ || fd_ < 0) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  if (buffer_.size() + bytes > kBufferBytes && !drain()) return false;
  if (bytes >= kBufferBytes) {  // large blocks go straight through
    if (!writeAll(fd_, p, bytes, &onDisk_)) failed_ = true;
    return !failed_;
  }
  buffer_.insert(buffer_.end(), p, p + bytes);
  return true;
}

bool FileWriter::Flush() { return buffer_.empty() ? !failed_ : drain(); }

bool FileWriter::WriteAt(uint64_t offset, const void* data, size_t bytes) {
  if (fd_ < 0 || (!buffer_.empty() && !drain())) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const ssize_t w = ::pwrite(fd_, p, bytes, static_cast<off_t>(offset));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    bytes -= static_cast<size_t>(w);
    offset += static_cast<uint64_t>(w);
  }
  return true;
}

bool FileWriter::Truncate(uint64_t length) {
  if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(length)) != 0) return false;
  onDisk_ = std::min(onDisk_, length);
  return true;
}

bool FileWriter::Close() {
  if (fd_ < 0) return false;
  const bool flushed = Flush();
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  return flushed && closed && !failed_;
}

}  // namespace svcodec
