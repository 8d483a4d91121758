// Layer III at the level of bits: a count-1 quadruple that runs past its granule, the code
// lengths behind the bound on unchecked reads, and headers handed out only when checked.
#include <gtest/gtest.h>

#include <vector>

#include "frame.h"
#include "layer3.h"
#include "layer3_support.h"
#include "layer3_tables.h"

namespace {

// MPEG-1 single-channel side information: granule 0 codes nothing but count-1 quadruples
// (table A) in `part23` bits at a large gain; granule 1 codes nothing.
std::vector<uint8_t> SideInfo(int part23) {
  l3_test::BitWriter b;
  b.Put(0, 9);  // main data begin
  b.Put(0, 5);  // private bits
  b.Put(0, 4);  // scale-factor selection
  for (int gr = 0; gr < 2; ++gr) {
    b.Put(gr == 0 ? static_cast<uint32_t>(part23) : 0u, 12);
    b.Put(0, 9);                  // big values
    b.Put(gr == 0 ? 250 : 0, 8);  // global gain: 2^10
    b.Put(0, 4);                  // no scale factors
    b.Put(0, 1);                  // no window switching
    b.Put(0, 15);                 // tables
    b.Put(0, 7);                  // region counts
    b.Put(0, 3);                  // pre-flag, scale-factor scale, count-1 table A
  }
  return b.bytes();
}

// Largest absolute subband sample of granule 0.
float Peak(const float (*out)[36][32]) {
  float peak = 0;
  for (int t = 0; t < 18; ++t)
    for (int sb = 0; sb < 32; ++sb) peak = std::max(peak, std::abs(out[0][t][sb]));
  return peak;
}

float DecodeGranule(int part23, const std::vector<uint8_t>& main) {
  const svd::FrameHeader header = *svd::FrameHeader::Parse(0xFFFB90C0u);  // 128 kbit/s, mono
  svd::Layer3Decoder decoder;
  const std::vector<uint8_t> side = SideInfo(part23);
  EXPECT_EQ(decoder.ReadSideInfo(header, side.data(), side.size()), 0);
  std::vector<uint8_t> data(main);
  const size_t size = data.size();
  data.resize(size + svd::Layer3Decoder::kMainDataPadding, 0);
  alignas(32) static float out[2][36][32];
  decoder.DecodeMainData(data.data(), size, 1u, 32, out);
  return Peak(out);
}

TEST(Layer3CountOne, AQuadrupleRunningPastTheGranuleIsDiscarded) {
  // Table A: 0101 is the quadruple (0, 0, 0, 1); its sign bit follows.
  const std::vector<uint8_t> main = {0x50};
  // All five bits inside the granule: line 3 holds the value.
  EXPECT_GT(DecodeGranule(5, main), 1.0f);
  // The sign bit lies beyond the granule's four bits: the quadruple is not taken.
  EXPECT_EQ(DecodeGranule(4, main), 0.0f);
}

TEST(Layer3Bounds, NoHuffmanCodeIsLongerThanTheBoundAssumes) {
  struct Table {
    const uint32_t* codes;
    int count;
  };
  using namespace svd::l3;
  const Table tables[] = {{kCodes1, 4},   {kCodes2, 9},    {kCodes3, 9},    {kCodes5, 16},   {kCodes6, 16},
                          {kCodes7, 36},  {kCodes8, 36},   {kCodes9, 36},   {kCodes10, 64},  {kCodes11, 64},
                          {kCodes12, 64}, {kCodes13, 256}, {kCodes15, 256}, {kCodes16, 256}, {kCodes24, 256},
                          {kCodes32, 16}, {kCodes33, 16}};
  size_t longest = 0;
  for (const Table& t : tables)
    for (int i = 0; i < t.count; ++i) longest = std::max<size_t>(longest, t.codes[i] >> 24);
  EXPECT_EQ(longest, svd::Layer3Decoder::kMaxHuffmanCodeBits);
  const HuffmanTable* built = HuffmanTables();
  int linbits = 0;
  for (int i = 0; i < 32; ++i) linbits = std::max(linbits, built[i].linbits);
  EXPECT_EQ(static_cast<size_t>(linbits), svd::Layer3Decoder::kMaxLinbits);
}

TEST(FrameHeaderParse, OnlyCheckedHeadersAreHandedOut) {
  EXPECT_TRUE(svd::FrameHeader::Parse(0xFFFB9000u));   // MPEG-1 Layer III
  EXPECT_FALSE(svd::FrameHeader::Parse(0x7FFB9000u));  // no sync
  EXPECT_FALSE(svd::FrameHeader::Parse(0xFFE99000u));  // reserved version
  EXPECT_FALSE(svd::FrameHeader::Parse(0xFFF99000u));  // reserved layer
  EXPECT_FALSE(svd::FrameHeader::Parse(0xFFFB9C00u));  // reserved sampling rate
  EXPECT_FALSE(svd::FrameHeader::Parse(0xFFFBF000u));  // bit-rate index 15
  // Unchecked, the reserved fields read as zero rates, never outside the tables.
  const svd::FrameHeader reserved = svd::FrameHeader::Unpack(0xFFE9FC00u);
  EXPECT_EQ(reserved.sample_rate(), 0);
  EXPECT_EQ(reserved.bit_rate(), 0);
  EXPECT_EQ(reserved.frame_length(), 0);
  EXPECT_EQ(svd::FrameHeader::Unpack(0xFFF99000u).bit_rate(), 0);
}

}  // namespace
