// The coding modes the encoder writes (44.1 kHz, 40 or 48 kbit/s per channel, mono or
// stereo) with everything derived from them: frame sizes, bit allocation and the order in
// which vector elements are interleaved over the spectrum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace svvqf {

enum FrameType { kShort = 0, kMedium = 1, kLong = 2, kPpc = 3 };

// How one frame type's vector-quantised part is laid out.
struct Allocation {
  int bits = 0;       // all VQ bits
  int coefs = 0;      // coefficients covered, all channels
  int vectors = 0;    // number of vectors
  int bitsFirst = 0;  // bits of the first `firstBitsCount` vectors, the rest have one less
  int firstBitsCount = 0;
  int lenFirst = 0;  // elements of the first `firstLenCount` vectors, the rest have one less
  int firstLenCount = 0;
  // destination[v * lenFirst + r]: index in the frame's coefficient array of element r of
  // vector v (channel-major, sub-block, bin); -1 past the vector's end.
  std::vector<int> destination;

  int Bits(int v) const { return v < firstBitsCount ? bitsFirst : bitsFirst - 1; }
  int Length(int v) const { return v < firstLenCount ? lenFirst : lenFirst - 1; }
  // The two index fields of a vector with b bits: ceil(b/2) and floor(b/2).
  static int BitsA(int b) { return (b + 1) / 2; }
  static int BitsB(int b) { return b / 2; }
};

struct TypeParams {
  int sub = 1;        // sub-blocks per frame
  int block = 0;      // coefficients per sub-block
  int barkBands = 0;  // bark envelope bands of a sub-block
  int barkCoefs = 0;  // bark codebook indices per sub-block
  int barkBits = 0;   // bits per bark index
  int cbStride = 0;   // columns of the main codebooks
  const int16_t* cbA = nullptr;
  const int16_t* cbB = nullptr;
  const int16_t* fcb = nullptr;        // bark codebook, 2^barkBits rows of barkBands/barkCoefs
  const int16_t* barkWidth = nullptr;  // band widths in bins
  float historyWeight = 0;             // bark history smoothing
  // The bark codebook as offsets (value / 4096), column-major: [column][row].
  std::vector<float> fcbColumns;
};

struct Mode {
  static constexpr int kRate = 44100;
  static constexpr int kSize = 2048;  // samples per channel per frame
  static constexpr int kLsp = 20;
  static constexpr int kLspBit0 = 1, kLspBit1 = 6, kLspBit2 = 4, kLspSplit = 4;
  static constexpr int kPpcPeriodBits = 9, kPpcShapeBits = 84, kPpcShapeLen = 54, kPpcGainBits = 7;
  static constexpr int kPeakPer2Wid = 432;
  static constexpr int kGainBits = 8, kSubGainBits = 5;

  int channels = 2;
  int kbpsPerChannel = 40;
  int frameBits = 0;
  TypeParams type[3];
  Allocation alloc[4];  // short, medium, long, periodic peaks

  // kbpsPerChannel 40 or 48, channels 1 or 2.
  Mode(int kbpsPerChannel, int channels);

  // Window slopes: long, medium, short.
  static constexpr int kSlopeLong = kSize, kSlopeMedium = kSize / 4, kSlopeShort = kSize / 32;
};

// Builds the allocation of `bits` over `coefs` coefficients in `blocks` blocks of `blockLen`
// (the interleaving rule; `squareShift` for short, medium and peak frames).
Allocation MakeAllocation(int bits, int coefs, int blocks, int blockLen, bool longFrame);

}  // namespace svvqf
