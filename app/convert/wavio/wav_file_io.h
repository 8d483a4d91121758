// clsFileIo: one file handle for raw reads and writes, and the canonical WAV header.
#pragma once

#include <cstdint>
#include <string>

// One instance serves one open-close cycle; create a new one for every file.
// Boolean results are -1 for true and 0 for false.
class clsFileIo {
 public:
  static constexpr int16_t kTrue = -1;
  static constexpr int16_t kFalse = 0;
  // Largest data length whose RIFF size (length + 36) and file size (length + 44) fit a
  // signed 32-bit number.
  static constexpr int32_t kMaxWavDataLength = 2147483603;

  clsFileIo() = default;
  ~clsFileIo();  // closes a handle still open
  clsFileIo(const clsFileIo&) = delete;
  clsFileIo& operator=(const clsFileIo&) = delete;

  // Read and write, created when missing, never truncated, positioned at the start, and
  // exclusive: a second open of the same file fails while this one holds it.
  int16_t OpenFile(const std::string& FileN);
  // Read only, for sources: the file's bytes, times and permissions stay as they are.
  // Others may read it at the same time, but no exclusive open succeeds meanwhile.
  int16_t OpenFileReadOnly(const std::string& FileN);
  // True when an open handle was closed. The name stays; the handle becomes invalid,
  // so later calls fail instead of reaching whatever file reuses the descriptor.
  int16_t CloseFile();
  // Writes Size bytes at the current position; true when all of them were written.
  int16_t WriteBytes(const void* Pointer, int32_t Size);
  // Flushes the file's data to disk.
  int16_t FlushBuffers();
  // Reads up to `bytes` bytes at the current position: 1 on success, also when fewer
  // bytes were left; 0 on failure or without an open file.
  int32_t ReadBytes(void* Pointer, int32_t bytes);
  // Writes the 44-byte header for 44100 Hz, 16-bit stereo PCM of Lenght data bytes at the
  // current position and flushes. Raises run-time error 6, overflow (nothing written), when
  // Lenght exceeds kMaxWavDataLength.
  int16_t writeWavHeader(int32_t Lenght);

  const std::string& FileName() const { return fileName_; }
  bool IsOpen() const { return handle_ >= 0; }
  // Bytes moved by the last ReadBytes (a short count means the end of the file).
  int32_t LastBytesRead() const { return bytesRead_; }

 private:
  int16_t open(const std::string& path, bool readOnly);
  bool usable() const { return !fileName_.empty() && handle_ >= 0; }

  int handle_ = -1;
  std::string fileName_;
  int32_t lastResult_ = 0;
  int32_t bytesRead_ = 0;
  int32_t bytesWritten_ = 0;
};
