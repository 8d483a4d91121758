// The encoders' input: a WAV file of 16-bit integer PCM, mono or stereo, read in blocks of
// whole frames. A file shorter than its header says is read to its end and marked
// truncated; a data size of 0xFFFFFFFF (a stream written without knowing its length) means
// "to the end of the file".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace svcodec {

class WavSource {
 public:
  // SVC_OK, SVC_E_SOURCE_OPEN, or SVC_E_SOURCE_FORMAT for anything but 16-bit PCM with one
  // or two channels and a sample rate.
  int32_t Open(const char* path);

  int Channels() const { return channels_; }
  int Rate() const { return rate_; }
  uint64_t Frames() const { return frames_; }  // frames present in the file
  // The header promised more samples than the file holds, or the file shrank while read.
  bool Truncated() const { return truncated_; }
  // Frames read so far against the total, 0 to 1.
  double Fraction() const {
    return frames_ ? static_cast<double>(read_) / static_cast<double>(frames_) : 1.0;
  }

  // Reads up to `frames` interleaved frames; gives the count (0 at the end) or -1 when the
  // file cannot be read.
  int64_t Read(int16_t* out, size_t frames);
  // One step of an encoder's loop: a stop asked for by the caller's flag (SVC_E_CANCELLED),
  // a read error (SVC_E_SOURCE_OPEN), or SVC_OK with the frames read in `got` (0 at the end).
  int32_t Step(int16_t* cancel, int16_t* out, size_t frames, int64_t& got);

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  int channels_ = 0;
  int rate_ = 0;
  uint64_t frames_ = 0;
  uint64_t read_ = 0;
  bool truncated_ = false;
};

}  // namespace svcodec
