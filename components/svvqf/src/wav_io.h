// 16-bit PCM WAV files: a streaming reader for the encoder's source and a writer for the
// decoder's output whose header always tells how much PCM follows it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace svvqf {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

class WavReader {
 public:
  enum class Status { kOk, kCannotOpen, kNotUsable };
  Status Open(const std::string& path);
  int Channels() const { return channels_; }
  int Rate() const { return rate_; }
  // Sample frames in the data chunk (as far as the file really holds them).
  int64_t Frames() const { return frames_; }
  // Reads up to `frames` interleaved sample frames; returns how many, or -1 on a read error.
  int64_t Read(int16_t* out, int64_t frames);

 private:
  File file_;
  int channels_ = 0, rate_ = 0;
  int64_t frames_ = 0, left_ = 0;
};

class WavWriter {
 public:
  bool Open(const std::string& path, int channels, int rate);
  // False once a write has failed.
  bool Write(const int16_t* interleaved, int64_t frames);
  // Writes the final sizes into the header and closes; false when anything failed.
  bool Close();
  ~WavWriter();

 private:
  bool WriteHeader();
  File file_;
  int channels_ = 0, rate_ = 0;
  uint64_t dataBytes_ = 0;
  bool ok_ = true;
};

}  // namespace svvqf
