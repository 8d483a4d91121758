// Constant tables of the Layer III decoder.
#pragma once

#include <cstdint>

namespace svd::l3 {

// Code words of the standard's Huffman tables, (length << 24) | code, see the .cpp.
extern const uint32_t kCodes1[4], kCodes2[9], kCodes3[9], kCodes5[16], kCodes6[16], kCodes7[36], kCodes8[36],
    kCodes9[36], kCodes10[64], kCodes11[64], kCodes12[64], kCodes13[256], kCodes15[256], kCodes16[256],
    kCodes24[256], kCodes32[16], kCodes33[16];

// A Huffman table as multi-level lookup: the first `root_bits` bits index `lut`. An entry
// with bit 15 set points to a sub-table: offset in bits 0..11, index width in bits 12..14.
// Otherwise it is a leaf: code bits used at this level in bits 8..11, value in bits 0..7
// (x << 4 | y for pairs, vwxy for quadruples).
struct HuffmanTable {
  const uint16_t* lut = nullptr;  // null: table 0 (or an unused number), all values zero
  int root_bits = 0;
  int linbits = 0;
};

// Tables 0..31 for the big values, 32 and 33 (A, B) for count-1.
const HuffmanTable* HuffmanTables();

// Scale-factor band boundaries (sample indices) by [version][sampling index]; version as in
// FrameHeader (0 MPEG-2, 1 MPEG-1, 2 MPEG-2.5).
struct BandLayout {
  int16_t long_start[23];   // 22 bands, 576 at the end
  int16_t short_start[14];  // 13 bands of one window, 192 at the end
};
const BandLayout& Bands(int version, int sampling_index);

// |x|^(4/3) for x = 0 .. 8206.
inline constexpr int kPow43Size = 8207;
const float* Pow43();

// 2^(-k/4) for k = kGainMin .. kGainMax.
inline constexpr int kGainMin = -256, kGainMax = 767;
const float* GainTable();  // indexed by k - kGainMin

}  // namespace svd::l3
