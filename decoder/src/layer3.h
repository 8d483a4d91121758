// Layer III decoding: side information, scale factors, Huffman decoding with requantisation,
// stereo processing, antialias and the hybrid filterbank, giving subband samples.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame.h"

namespace svd {

class Layer3Decoder {
 public:
  Layer3Decoder();

  // Clears the overlap memories.
  void Reset();

  // Reads the side information (after the header and CRC). A fatal inconsistency calls
  // RaiseStreamError(). Returns main-data begin (bytes before this frame's main data).
  int ReadSideInfo(const FrameHeader& header, const uint8_t* side_info, size_t size);

  // Decodes the granules of the frame whose side information was read last. `main_data`
  // begins main-data-begin bytes before the frame's own main data; at least kMainDataPadding
  // readable bytes must follow `size`. Channels that are not `wanted` (bit 0 left, bit 1
  // right) are not transformed. For each granule g and channel c, out[c] receives 18 time
  // slots starting at slot 18 * g. Returns the number of granules.
  int DecodeMainData(const uint8_t* main_data, size_t size, unsigned wanted, int subband_limit,
                     float (*out)[36][32]);

  // Zero bytes the caller puts behind the main data. The decoder reads through unchecked
  // 64-bit windows (8 bytes at the byte holding the bit it is at), and the bound below
  // keeps every such read inside the padding:
  // - A granule's bits begin where the previous ones' part 2 and 3 lengths end: at most
  //   3 × 4095 bits after the start, whatever the main data holds (MPEG-1 stereo, the last
  //   of four granule channels). Its scale factors take at most kMaxScaleFactorBits.
  // - Huffman decoding only starts in a granule that ends at most 64 bits past the main
  //   data; its big values (at most 288 pairs, each at most kMaxPairBits) are read without
  //   looking at the end, the count-1 quadruples stop at the granule's end.
  // - The window itself reaches 8 bytes past the byte it starts in.
  static constexpr size_t kMaxHuffmanCodeBits = 19;  // longest code of the standard's tables
  static constexpr size_t kMaxLinbits = 13;
  static constexpr size_t kMaxPairBits = kMaxHuffmanCodeBits + 2 * (kMaxLinbits + 1);
  static constexpr size_t kMaxScaleFactorBits = 39 * 4;  // MPEG-2: 39 values of 4 bits at most
  static constexpr size_t kReadPastGranuleStart = (3 * 4095 + kMaxScaleFactorBits) / 8 + 8;
  static constexpr size_t kReadPastEnd = (64 + kMaxScaleFactorBits + 288 * kMaxPairBits) / 8 + 1 + 8;
  static constexpr size_t kMainDataPadding = 8192;
  static_assert(kMainDataPadding >= kReadPastEnd && kMainDataPadding >= kReadPastGranuleStart,
                "unchecked main-data reads must stay inside the zero padding");

  struct GranuleChannel {
    int part23_length = 0;
    int big_values = 0;
    int global_gain = 0;
    int scalefac_compress = 0;
    int window_switching = 0;
    int block_type = 0;
    int mixed_block = 0;
    int table_select[3] = {};
    int subblock_gain[3] = {};
    int region0_count = 0;
    int region1_count = 0;
    int preflag = 0;
    int scalefac_scale = 0;
    int count1_table = 0;
    int region1_start = 0;
    int region2_start = 0;
  };

 private:
  struct Spectrum;

  void ReadScaleFactorsMpeg1(int gr, int ch);
  void ReadScaleFactorsMpeg2(int ch);
  void DecodeHuffman(int gr, int ch, size_t end_bit);
  void Stereo(int gr);
  void Hybrid(int ch, int gr, int subband_limit, float (*out)[32]);

  FrameHeader header_;
  int granules_ = 0;
  int channels_ = 0;
  bool ms_stereo_ = false;
  bool i_stereo_ = false;
  int main_data_begin_ = 0;
  int scfsi_[2][4] = {};
  GranuleChannel gc_[2][2];

  // Working storage of the granule being decoded.
  alignas(32) float xr_[2][576 + 8];
  int nonzero_[2] = {};             // lines up to the last non-zero one
  uint8_t scale_long_[2][22] = {};  // kept across granules for scfsi
  uint8_t scale_short_[2][13][3] = {};
  uint8_t max_long_[22] = {};  // MPEG-2 intensity: largest (illegal) position per band
  uint8_t max_short_[13] = {};

  const uint8_t* data_ = nullptr;
  size_t bit_ = 0;

  alignas(32) float overlap_[2][32][18];
};

// Inverse MDCT with window and overlap for `count` subbands of 18 lines each; used by the
// hybrid filterbank (chosen once for the CPU).
void InitHybridKernels();

}  // namespace svd
