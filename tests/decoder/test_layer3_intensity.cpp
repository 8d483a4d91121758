// Intensity stereo: hand-made frames whose right channel codes no spectrum, only intensity
// positions; the right channel must come back from the left one in the ratio the position sets.
#include <gtest/gtest.h>

#include <cmath>

#include "layer3_support.h"

namespace {

using namespace l3_test;

// Left spectrum: lines [from, to) hold +1, coded with table 1 (0,0 -> "1"; 1,1 -> "000" and
// two sign bits). Returns the bits written.
int PutLeftSpectrum(BitWriter& w, int from, int to) {
  int bits = 0;
  for (int i = 0; i < to; i += 2) {
    if (i < from) {
      w.Put(1, 1);
      bits += 1;
    } else {
      w.Put(0, 3);
      w.Put(0, 2);
      bits += 5;
    }
  }
  return bits;
}

// Per channel: side-info fields of a long-block granule using table 1 everywhere.
struct Granule {
  int part23 = 0, big_values = 0, global_gain = 0, sfc = 0;
};

void PutGranule(BitWriter& si, const Granule& g, bool lsf) {
  si.Put(static_cast<uint32_t>(g.part23), 12);
  si.Put(static_cast<uint32_t>(g.big_values), 9);
  si.Put(static_cast<uint32_t>(g.global_gain), 8);
  si.Put(static_cast<uint32_t>(g.sfc), lsf ? 9 : 4);
  si.Put(0, 1);  // no window switching
  for (int t = 0; t < 3; ++t) si.Put(1, 5);
  si.Put(15, 4);  // region 0 and 1 counts: one table for all
  si.Put(7, 3);
  if (!lsf) si.Put(0, 1);  // pre-flag
  si.Put(0, 1);            // scale-factor scale
  si.Put(0, 1);            // count-1 table A
}

// One MPEG-1 frame, 44.1 kHz, 128 kbit/s, joint stereo with intensity stereo only; the right
// channel's intensity positions are all `position`.
std::vector<uint8_t> Mpeg1Frame(int position) {
  BitWriter main;
  Granule left, right;
  left.global_gain = 180;
  left.big_values = 126;
  right.sfc = 15;  // slen 4 and 3: bands 0-10 four bits, 11-20 three
  for (int gr = 0; gr < 2; ++gr) {
    left.part23 = PutLeftSpectrum(main, 180, 252);
    for (int sfb = 0; sfb < 21; ++sfb) main.Put(static_cast<uint32_t>(position), sfb < 11 ? 4 : 3);
    right.part23 = 11 * 4 + 10 * 3;
  }
  BitWriter si;
  si.Put(0, 9);  // main data begin
  si.Put(0, 3);
  si.Put(0, 8);  // scfsi
  for (int gr = 0; gr < 2; ++gr) {
    PutGranule(si, left, false);
    PutGranule(si, right, false);
  }
  std::vector<uint8_t> frame(417, 0);
  const uint8_t header[] = {0xFF, 0xFB, 0x90, 0x50};
  std::copy(std::begin(header), std::end(header), frame.begin());
  std::copy(si.bytes().begin(), si.bytes().end(), frame.begin() + 4);
  EXPECT_EQ(si.bytes().size(), 32u);
  std::copy(main.bytes().begin(), main.bytes().end(), frame.begin() + 36);
  return frame;
}

// One MPEG-2 frame, 22.05 kHz, 64 kbit/s, joint stereo with intensity stereo only; positions
// coded with 3 bits (7 is the illegal position), `scale` the intensity scale bit.
std::vector<uint8_t> Mpeg2Frame(int position, int scale) {
  BitWriter main;
  Granule left, right;
  left.global_gain = 180;
  left.big_values = 76;
  left.part23 = PutLeftSpectrum(main, 100, 152);
  for (int sfb = 0; sfb < 21; ++sfb) main.Put(static_cast<uint32_t>(position), 3);
  right.part23 = 21 * 3;
  right.sfc = ((3 * 36 + 3 * 6 + 3) << 1) | scale;  // slen 3, 3, 3
  BitWriter si;
  si.Put(0, 8);
  si.Put(0, 2);
  PutGranule(si, left, true);
  PutGranule(si, right, true);
  std::vector<uint8_t> frame(208, 0);
  const uint8_t header[] = {0xFF, 0xF3, 0x80, 0x50};
  std::copy(std::begin(header), std::end(header), frame.begin());
  std::copy(si.bytes().begin(), si.bytes().end(), frame.begin() + 4);
  EXPECT_EQ(si.bytes().size(), 17u);
  std::copy(main.bytes().begin(), main.bytes().end(), frame.begin() + 21);
  return frame;
}

// Root-mean-square of each channel after the first frame (the filters' start-up).
std::pair<double, double> Levels(const std::vector<uint8_t>& frame, int frames) {
  std::vector<uint8_t> file;
  for (int i = 0; i < frames; ++i) file.insert(file.end(), frame.begin(), frame.end());
  const fs::path path = Scratch("is.mp3");
  Save(path, file);
  const Decoded d = DecodeThroughExports(path);
  EXPECT_EQ(d.frames, frames);
  EXPECT_EQ(d.errors, 0);
  double l = 0, r = 0;
  const size_t skip = d.out.frames() / static_cast<size_t>(frames);
  for (size_t i = skip; i < d.out.frames(); ++i) {
    l += double(d.out.at(i, 0)) * d.out.at(i, 0);
    r += double(d.out.at(i, 1)) * d.out.at(i, 1);
  }
  const double n = double(d.out.frames() - skip);
  return {std::sqrt(l / n), std::sqrt(r / n)};
}

TEST(Layer3Intensity, Mpeg1PositionsSplitTheLeftSignal) {
  // Position 3: tan(π/4) = 1, both channels carry half.
  auto [l3, r3] = Levels(Mpeg1Frame(3), 4);
  EXPECT_GT(l3, 100.0);
  EXPECT_NEAR(r3 / l3, 1.0, 0.01);
  // Position 2: right/left = 1 / tan(π/6).
  auto [l2, r2] = Levels(Mpeg1Frame(2), 4);
  EXPECT_NEAR(r2 / l2, 1.0 / std::tan(M_PI / 6), 0.01);
  // Same total: left + right amplitude equals the coded one in every case.
  EXPECT_NEAR((l2 + r2) / (l3 + r3), 1.0, 0.01);
  // Position 0: all to the right; 6: all to the left.
  auto [l0, r0] = Levels(Mpeg1Frame(0), 4);
  EXPECT_LT(l0, 1.0);
  EXPECT_NEAR(r0 / (l3 + r3), 1.0, 0.01);
  auto [l6, r6] = Levels(Mpeg1Frame(6), 4);
  EXPECT_LT(r6, 1.0);
  EXPECT_NEAR(l6 / (l3 + r3), 1.0, 0.01);
  // Position 7 is illegal: no intensity stereo, the right channel stays as coded (silent).
  auto [l7, r7] = Levels(Mpeg1Frame(7), 4);
  EXPECT_GT(l7, 100.0);
  EXPECT_LT(r7, 1.0);
}

TEST(Layer3Intensity, Mpeg2PositionsScaleOneChannel) {
  // Even position 2 with scale bit 1: left keeps the signal, right gets 2^(-1/2) of it.
  auto [la, ra] = Levels(Mpeg2Frame(2, 1), 4);
  EXPECT_GT(la, 100.0);
  EXPECT_NEAR(ra / la, std::sqrt(0.5), 0.01);
  // Odd position 3 with scale bit 0: right keeps it, left gets (2^(-1/4))^2.
  auto [lb, rb] = Levels(Mpeg2Frame(3, 0), 4);
  EXPECT_NEAR(lb / rb, std::sqrt(0.5), 0.01);
  EXPECT_NEAR(rb / la, 1.0, 0.01);
  // Position 0: both channels carry the signal unscaled.
  auto [lc, rc] = Levels(Mpeg2Frame(0, 1), 4);
  EXPECT_NEAR(lc / la, 1.0, 0.01);
  EXPECT_NEAR(rc / la, 1.0, 0.01);
  // Position 7 (all three bits set) is illegal: the right channel stays silent.
  auto [ld, rd] = Levels(Mpeg2Frame(7, 0), 4);
  EXPECT_GT(ld, 100.0);
  EXPECT_LT(rd, 1.0);
}

}  // namespace
