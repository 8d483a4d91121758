// Lookup tables built once from the standard's code words and formulas.
#include "layer3_tables.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace svd::l3 {
namespace {

struct Code {
  uint32_t bits;
  int length;
  int value;
};

// Builds a lookup table level for the codes whose first `used` bits equal `prefix`.
void BuildLevel(const std::vector<Code>& codes, uint32_t prefix, int used, int width,
                std::vector<uint16_t>& lut, size_t base) {
  for (uint32_t index = 0; index < (1u << width); ++index) {
    // Codes that start with prefix + index (or are shorter and match).
    int longest = 0;
    const Code* leaf = nullptr;
    for (const Code& c : codes) {
      if (c.length <= used) continue;
      const int rest = c.length - used;
      const uint32_t head = c.bits >> rest;
      if (head != prefix) continue;
      const uint32_t tail = c.bits & ((1u << rest) - 1);
      if (rest <= width) {
        if ((index >> (width - rest)) == tail) leaf = &c;
      } else if ((tail >> (rest - width)) == index) {
        longest = std::max(longest, rest - width);
      }
    }
    if (leaf) {
      lut[base + index] = static_cast<uint16_t>(((leaf->length - used) << 8) | leaf->value);
    } else if (longest > 0) {
      const int sub = std::min(longest, 7);
      const size_t offset = lut.size();
      lut.resize(offset + (size_t{1} << sub), 0);
      lut[base + index] = static_cast<uint16_t>(0x8000 | (sub << 12) | offset);
      BuildLevel(codes, (prefix << width) | index, used + width, sub, lut, offset);
    }
  }
}

struct Built {
  std::vector<uint16_t> storage[34];
  HuffmanTable tables[34];

  void Make(int number, const uint32_t* words, int count, int xlen, int linbits) {
    std::vector<Code> codes;
    int longest = 0;
    for (int i = 0; i < count; ++i) {
      const int length = static_cast<int>(words[i] >> 24);
      const int value = xlen ? ((i / xlen) << 4 | (i % xlen)) : i;
      codes.push_back({words[i] & 0xFFFFFF, length, value});
      longest = std::max(longest, length);
    }
    const int root = std::min(longest, 10);
    auto& lut = storage[number];
    lut.assign(size_t{1} << root, 0);
    BuildLevel(codes, 0, 0, root, lut, 0);
    if (lut.size() > 4096) std::abort();  // offsets are 12 bits
    tables[number] = {lut.data(), root, linbits};
  }
  void Alias(int number, int from, int linbits) {
    tables[number] = tables[from];
    tables[number].linbits = linbits;
  }

  Built() {
    Make(1, kCodes1, 4, 2, 0);
    Make(2, kCodes2, 9, 3, 0);
    Make(3, kCodes3, 9, 3, 0);
    Make(5, kCodes5, 16, 4, 0);
    Make(6, kCodes6, 16, 4, 0);
    Make(7, kCodes7, 36, 6, 0);
    Make(8, kCodes8, 36, 6, 0);
    Make(9, kCodes9, 36, 6, 0);
    Make(10, kCodes10, 64, 8, 0);
    Make(11, kCodes11, 64, 8, 0);
    Make(12, kCodes12, 64, 8, 0);
    Make(13, kCodes13, 256, 16, 0);
    Make(15, kCodes15, 256, 16, 0);
    Make(16, kCodes16, 256, 16, 1);
    Make(24, kCodes24, 256, 16, 4);
    static constexpr int kLin16[8] = {1, 2, 3, 4, 6, 8, 10, 13};
    static constexpr int kLin24[8] = {4, 5, 6, 7, 8, 9, 11, 13};
    for (int i = 1; i < 8; ++i) Alias(16 + i, 16, kLin16[i]);
    for (int i = 1; i < 8; ++i) Alias(24 + i, 24, kLin24[i]);
    Make(32, kCodes32, 16, 0, 0);
    Make(33, kCodes33, 16, 0, 0);
  }
};

constexpr BandLayout kBands[3][3] = {
    // MPEG-2: 22050, 24000, 16000 Hz
    {{{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
      {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192}},
     {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576},
      {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192}},
     {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
      {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}}},
    // MPEG-1: 44100, 48000, 32000 Hz
    {{{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
      {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192}},
     {{0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
      {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192}},
     {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
      {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}}},
    // MPEG-2.5: 11025, 12000, 8000 Hz
    {{{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
      {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
     {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
      {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
     {{0,   12,  24,  36,  48,  60,  72,  88,  108, 132, 160, 192,
       232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576},
      {0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192}}},
};

}  // namespace

const HuffmanTable* HuffmanTables() {
  static const Built built;
  return built.tables;
}

const BandLayout& Bands(int version, int sampling_index) { return kBands[version][sampling_index]; }

const float* Pow43() {
  static const std::vector<float> table = [] {
    std::vector<float> t(kPow43Size);
    for (int i = 0; i < kPow43Size; ++i) t[i] = static_cast<float>(std::pow(double(i), 4.0 / 3.0));
    return t;
  }();
  return table.data();
}

const float* GainTable() {
  static const std::vector<float> table = [] {
    std::vector<float> t(kGainMax - kGainMin + 1);
    for (int k = kGainMin; k <= kGainMax; ++k) t[k - kGainMin] = static_cast<float>(std::exp2(-k / 4.0));
    return t;
  }();
  return table.data();
}

}  // namespace svd::l3
