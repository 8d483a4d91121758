#include "mode.h"

#include "tables/twinvq_tables.h"

namespace svvqf {

Allocation MakeAllocation(int bits, int coefs, int blocks, int blockLen, bool longFrame) {
  Allocation a;
  a.bits = bits;
  a.coefs = coefs;
  const int nv = (bits + 13) / 14;
  a.vectors = nv;
  a.bitsFirst = (bits + nv - 1) / nv;
  a.firstBitsCount = nv - (a.bitsFirst * nv - bits);
  a.lenFirst = (coefs + nv - 1) / nv;
  a.firstLenCount = nv - (a.lenFirst * nv - coefs);
  const int shortLen = coefs / nv;
  a.destination.assign(static_cast<size_t>(nv) * a.lenFirst, -1);
  for (int v = 0; v < nv; ++v) {
    for (int r = 0; r < a.Length(v); ++r) {
      int shift = 0;
      const bool noShift = blocks == 1 || (longFrame ? nv % blocks != 0 : nv % 2 != 0) || r == shortLen;
      if (!noShift) shift = longFrame ? r : r * r;
      const int u = r * nv + (v + shift) % nv;
      a.destination[static_cast<size_t>(v) * a.lenFirst + r] = (u % blocks) * blockLen + u / blocks;
    }
  }
  return a;
}

Mode::Mode(int kbps, int ch) : channels(ch), kbpsPerChannel(kbps) {
  using namespace tables;
  frameBits = static_cast<int>(static_cast<int64_t>(kbps) * 1000 * ch * kSize / kRate);
  const bool is40 = kbps == 40;
  // short, medium, long: sub-blocks, bark bands, bark indices, bark bits
  type[kShort] = {16,
                  kSize / 16,
                  10,
                  1,
                  6,
                  is40 ? 18 : 15,
                  is40 ? kCb4440S0 : kCb4448S0,
                  is40 ? kCb4440S1 : kCb4448S1,
                  kFcb44S,
                  kBarkS44,
                  0.4f,
                  {}};
  type[kMedium] = {4,
                   kSize / 4,
                   20,
                   2,
                   6,
                   is40 ? 17 : 14,
                   is40 ? kCb4440M0 : kCb4448M0,
                   is40 ? kCb4440M1 : kCb4448M1,
                   kFcb44M,
                   kBarkM44,
                   0.35f,
                   {}};
  type[kLong] = {1,
                 kSize,
                 40,
                 4,
                 6,
                 is40 ? 17 : 14,
                 is40 ? kCb4440L0 : kCb4448L0,
                 is40 ? kCb4440L1 : kCb4448L1,
                 kFcb44L,
                 kBarkL44,
                 0.28f,
                 {}};
  for (TypeParams& t : type) {
    const int cols = t.barkBands / t.barkCoefs, rows = 1 << t.barkBits;
    t.fcbColumns.resize(static_cast<size_t>(cols) * rows);
    for (int i = 0; i < cols; ++i)
      for (int r = 0; r < rows; ++r) t.fcbColumns[i * rows + r] = t.fcb[r * cols + i] / 4096.0f;
  }
  const int lsp = ch * (kLspBit0 + kLspBit1 + kLspSplit * kLspBit2);
  for (int f = kShort; f <= kLong; ++f) {
    const TypeParams& t = type[f];
    const int bark = ch * (t.barkCoefs * t.barkBits + 1);
    int side = 0;
    if (f == kLong)
      side = 4 + bark + lsp + ch * kGainBits + ch * (kPpcGainBits + kPpcShapeBits + kPpcPeriodBits);
    else
      side = 4 + lsp + ch * kGainBits + t.sub * (bark + ch * kSubGainBits);
    alloc[f] = MakeAllocation(frameBits - side, ch * kSize, ch * t.sub, t.block, f == kLong);
  }
  alloc[kPpc] = MakeAllocation(ch * kPpcShapeBits, ch * kPpcShapeLen, ch, kPpcShapeLen, false);
}

}  // namespace svvqf
