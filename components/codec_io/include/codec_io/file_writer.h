// A buffered output file that knows exactly how many bytes reached the disk, so that a full
// disk is reported and a header can be made to match what was really written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace svcodec {

class FileWriter {
 public:
  FileWriter() = default;
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;
  ~FileWriter();

  // Creates or truncates the file; false when it cannot be created.
  bool Create(const char* path);
  // False once any write has failed (the failure sticks).
  bool Write(const void* data, size_t bytes);
  bool Flush();
  // Writes at an absolute offset, after the buffer has been flushed.
  bool WriteAt(uint64_t offset, const void* data, size_t bytes);
  // Cuts the file to a length at or below what is on disk.
  bool Truncate(uint64_t length);
  // Flushes and closes; false when anything failed.
  bool Close();
  // Bytes known to be on disk.
  uint64_t Written() const { return onDisk_; }
  bool Failed() const { return failed_; }

 private:
  bool drain();

  int fd_ = -1;
  bool failed_ = false;
  uint64_t onDisk_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace svcodec
