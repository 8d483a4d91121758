// MPEG audio frame header: unpacking, validity rules and the sizes derived from it.
#pragma once

#include <cstdint>
#include <optional>

namespace svd {

// Bit rates in kbit/s by [MPEG-1 ? 0 : 1][layer - 1][index]; index 0 (free format) and 15 are
// refused by Check(). The fourth row (layer code 0, reserved) is all zero so that even an
// unchecked header never reads outside the table.
inline constexpr int16_t kBitRates[2][4][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {}}};

// Sampling rates in Hz by [version][sampling index]; version 0 MPEG-2, 1 MPEG-1, 2 MPEG-2.5,
// 3 reserved (zero, like the reserved sampling index).
inline constexpr int32_t kSampleRates[4][4] = {
    {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}, {11025, 12000, 8000, 0}, {0, 0, 0, 0}};

enum Version : int { kMpeg2 = 0, kMpeg1 = 1, kMpeg25 = 2, kVersionReserved = 3 };
enum Mode : int { kStereo = 0, kJointStereo = 1, kDualChannel = 2, kSingleChannel = 3 };

struct FrameHeader {
  int version = 0;         // Version
  int layer_code = 0;      // 3 Layer I, 2 Layer II, 1 Layer III, 0 reserved
  int protection = 1;      // 0: a 16-bit CRC follows the header
  int bitrate_index = 0;   // 0..15
  int sampling_index = 0;  // 0..3
  int padding = 0;
  int private_bit = 0;
  int mode = 0;  // Mode
  int mode_extension = 0;
  int copyright = 0;
  int original = 0;
  int emphasis = 0;

  // True when the top 11 bits (frame sync) are all set.
  static constexpr bool HasSync(uint32_t word) { return (word & 0xFFE00000u) == 0xFFE00000u; }

  // The header of a word that has the sync bits and passes Check(), or none. This is how
  // the decoder reads headers: everything derived from one it hands out is meaningful.
  static constexpr std::optional<FrameHeader> Parse(uint32_t word) {
    if (!HasSync(word)) return std::nullopt;
    const FrameHeader h = Unpack(word);
    if (!h.Check()) return std::nullopt;
    return h;
  }

  // Splits the 32-bit header word (first byte in the top bits). Does not check anything;
  // the tables are total, so the sizes of an unchecked header are merely meaningless.
  static constexpr FrameHeader Unpack(uint32_t word) {
    FrameHeader h;
    const bool bit20 = (word >> 20) & 1;
    const int bit19 = (word >> 19) & 1;
    h.version = bit20 ? bit19 : (bit19 ? kVersionReserved : kMpeg25);
    h.layer_code = (word >> 17) & 3;
    h.protection = (word >> 16) & 1;
    h.bitrate_index = (word >> 12) & 15;
    h.sampling_index = (word >> 10) & 3;
    h.padding = (word >> 9) & 1;
    h.private_bit = (word >> 8) & 1;
    h.mode = (word >> 6) & 3;
    h.mode_extension = (word >> 4) & 3;
    h.copyright = (word >> 3) & 1;
    h.original = (word >> 2) & 1;
    h.emphasis = word & 3;
    return h;
  }

  // The decoder's acceptance rules; free format, reserved fields, padding outside the
  // 44.1 kHz family and the forbidden Layer II combinations are refused.
  constexpr bool Check() const {
    if (bitrate_index == 0 || bitrate_index == 15) return false;
    if (layer_code == 0) return false;
    if (padding && sampling_index != 0) return false;
    if (sampling_index == 3) return false;
    if (version == kVersionReserved) return false;
    if (version == kMpeg25 && layer_code != 1) return false;
    if (layer_code == 2 && version == kMpeg1) {
      const int i = bitrate_index;
      if (mode != kSingleChannel && (i == 1 || i == 2 || i == 3 || i == 5)) return false;
      if (mode == kSingleChannel && i >= 11 && i <= 14) return false;
    }
    return true;
  }

  constexpr int layer() const { return 4 - layer_code; }    // 1..3 (4 for the reserved code)
  constexpr bool lsf() const { return version != kMpeg1; }  // MPEG-2 or 2.5
  constexpr int channels() const { return mode == kSingleChannel ? 1 : 2; }
  constexpr int level() const { return 2 - version; }  // 1 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  constexpr int bit_rate() const { return kBitRates[lsf() ? 1 : 0][(layer() - 1) & 3][bitrate_index & 15]; }
  constexpr int sample_rate() const { return kSampleRates[version & 3][sampling_index & 3]; }
  // Padding counts only in the 44.1 kHz family (other padded headers fail Check()).
  constexpr bool padded() const { return padding && sampling_index == 0; }

  // Whole frame in bytes, header included (0 when the rates are not valid).
  constexpr int frame_length() const {
    const int rate = bit_rate(), fs = sample_rate();
    if (fs == 0) return 0;
    switch (layer()) {
      case 1:
        return 4 * (rate * 12000 / fs) + (padded() ? 4 : 0);
      case 2:
        return rate * 144000 / fs + (padded() ? 1 : 0);
      case 3:
        return rate * 144000 / fs / (lsf() ? 2 : 1) + (padded() ? 1 : 0);
      default:
        return 0;
    }
  }

  // Layer III side information in bytes (without the CRC).
  constexpr int side_info_length() const {
    if (!lsf()) return mode == kSingleChannel ? 17 : 32;
    return mode == kSingleChannel ? 9 : 17;
  }

  // PCM samples per channel at full rate.
  constexpr int samples_per_frame() const {
    switch (layer()) {
      case 1:
        return 384;
      case 2:
        return 1152;
      default:
        return lsf() ? 576 : 1152;
    }
  }
};

inline constexpr uint32_t ReadBigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

}  // namespace svd
