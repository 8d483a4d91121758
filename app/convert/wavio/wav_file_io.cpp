#include "wav_file_io.h"

#include "platform/runtime_error.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void putLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Writes everything unless the system refuses; partial writes are continued.
bool writeAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

clsFileIo::~clsFileIo() {
  if (handle_ >= 0) ::close(handle_);
}

int16_t clsFileIo::open(const std::string& path, bool readOnly) {
  if (handle_ >= 0) {  // a second open on one instance releases the first file
    ::close(handle_);
    handle_ = -1;
  }
  const int flags = readOnly ? O_RDONLY | O_CLOEXEC : O_RDWR | O_CREAT | O_CLOEXEC;
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return kFalse;
  // No sharing: the lock keeps two writers (or a writer and a reader) apart.
  if (::flock(fd, (readOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    ::close(fd);
    return kFalse;
  }
  handle_ = fd;
  fileName_ = path;
  return kTrue;
}

int16_t clsFileIo::OpenFile(const std::string& FileN) { return open(FileN, false); }

int16_t clsFileIo::OpenFileReadOnly(const std::string& FileN) { return open(FileN, true); }

int16_t clsFileIo::CloseFile() {
  if (!usable()) return kFalse;
  const int rc = ::close(handle_);
  handle_ = -1;
  return rc == 0 ? kTrue : kFalse;
}

int16_t clsFileIo::WriteBytes(const void* Pointer, int32_t Size) {
  if (!usable()) return kFalse;
  if (Size < 0 || (Size > 0 && Pointer == nullptr)) {
    lastResult_ = 0;
    return kFalse;
  }
  const bool ok = writeAll(handle_, static_cast<const uint8_t*>(Pointer), static_cast<size_t>(Size));
  bytesWritten_ = ok ? Size : 0;
  lastResult_ = ok ? 1 : 0;
  return ok ? kTrue : kFalse;
}

int16_t clsFileIo::FlushBuffers() {
  if (handle_ < 0) return kFalse;
  lastResult_ = ::fsync(handle_) == 0 ? 1 : 0;
  return lastResult_ ? kTrue : kFalse;
}

int32_t clsFileIo::ReadBytes(void* Pointer, int32_t bytes) {
  if (!usable()) return 0;
  bytesRead_ = 0;
  if (bytes < 0 || (bytes > 0 && Pointer == nullptr)) return lastResult_ = 0;
  auto* p = static_cast<uint8_t*>(Pointer);
  size_t left = static_cast<size_t>(bytes);
  while (left > 0) {
    const ssize_t r = ::read(handle_, p, left);
    if (r < 0) {
      if (errno == EINTR) continue;
      return lastResult_ = 0;
    }
    if (r == 0) break;  // end of file: success with fewer bytes
    p += r;
    left -= static_cast<size_t>(r);
    bytesRead_ += static_cast<int32_t>(r);
  }
  return lastResult_ = 1;
}

int16_t clsFileIo::writeWavHeader(int32_t Lenght) {
  if (Lenght > kMaxWavDataLength) throw sv::RuntimeError(sv::errOverflow);
  if (handle_ < 0) return kFalse;
  std::array<uint8_t, 44> h{};
  std::memcpy(&h[0], "RIFF", 4);
  putLe32(&h[4], static_cast<uint32_t>(Lenght + 36));
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  putLe32(&h[16], 16);
  putLe16(&h[20], 1);       // integer PCM
  putLe16(&h[22], 2);       // channels
  putLe32(&h[24], 44100);   // samples per second
  putLe32(&h[28], 176400);  // bytes per second
  putLe16(&h[32], 4);       // block align
  putLe16(&h[34], 16);      // bits per sample
  std::memcpy(&h[36], "data", 4);
  putLe32(&h[40], static_cast<uint32_t>(Lenght));
  if (!writeAll(handle_, h.data(), h.size())) return kFalse;
  return FlushBuffers();
}
