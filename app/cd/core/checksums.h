// What a grabbed track's log line proves about its audio: CRC32 of the bytes, the
// AccurateRip checksums (versions 1 and 2) and the peak level. Fed block by block as the
// track is read, so the audio is never held twice.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sv::grab {

// Stereo sample words of the first track that AccurateRip leaves out (5 frames less one
// word), and of the last track (5 frames).
inline constexpr std::int64_t kAccurateRipFirstSkip = 5 * 588 - 1;
inline constexpr std::int64_t kAccurateRipLastSkip = 5 * 588;

class TrackChecksums {
 public:
  // `words`: the track's length in 32-bit stereo sample words; `first` and `last`: whether it
  // is the disc's first or last audio track.
  TrackChecksums(std::int64_t words, bool first, bool last);

  // The next `bytes` bytes of the track's audio (16-bit little-endian stereo); a multiple of 4.
  void Add(const std::uint8_t* audio, std::size_t bytes);

  std::uint32_t Crc32() const { return crc_; }
  std::uint32_t AccurateRipV1() const { return v1_; }
  std::uint32_t AccurateRipV2() const { return v2_; }
  // The largest sample magnitude, 0..32768.
  int Peak() const { return peak_; }
  std::int64_t Words() const { return position_; }

 private:
  std::int64_t from_ = 1;  // first word counted (from 1)
  std::int64_t to_ = 0;    // last word counted
  std::int64_t position_ = 0;
  std::uint32_t crc_ = 0;
  std::uint32_t v1_ = 0;
  std::uint32_t v2_ = 0;
  int peak_ = 0;
};

}  // namespace sv::grab
