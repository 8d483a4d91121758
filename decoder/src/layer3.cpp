// Layer III decoding of ISO/IEC 11172-3 and its lower-sampling-frequency extension of
// ISO/IEC 13818-3 (also used for MPEG-2.5).
#include "layer3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bitreader.h"
#include "layer3_tables.h"
#include "stream_error.h"

namespace svd {
namespace {

constexpr uint8_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
constexpr uint8_t kSlen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                                  {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};
// MPEG-2 scale-factor partitions by [table][long, short, mixed][partition].
constexpr uint8_t kPartitions[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},       {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},     {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}}};

constexpr double kPi = 3.14159265358979323846;

// 64 bits from bit `pos` on, unchecked: the main data has kMainDataPadding zero bytes behind
// it, which no read reaches past (see layer3.h).
inline uint64_t Window(const uint8_t* data, size_t pos) {
  return LoadBigEndian64(data + (pos >> 3)) << (pos & 7);
}

// Long bands wholly inside the first two subbands (the long part of a mixed block), and the
// first short band beyond them.
inline int MixedLongBands(const l3::BandLayout& b) {
  int n = 0;
  while (n < 22 && b.long_start[n] < 36) ++n;
  return n;
}
inline int MixedShortStart(const l3::BandLayout& b) {
  int n = 0;
  while (n < 13 && 3 * b.short_start[n] < 36) ++n;
  return n;
}

// Inverse MDCT tables. Long blocks: the 18 distinct outputs of the 36-point transform
// (outputs 0..8 and 18..26; the others follow by symmetry) and the windows by [block type]
// [odd subband], where odd subbands carry the sign inversion of every odd output. Short blocks:
// a windowed matrix that takes the three windows' six lines each (window-major) and places the
// overlapped 12-point transforms at outputs 6..29.
struct ImdctTables {
  alignas(32) float cos36[18][24];
  alignas(32) float window[4][2][36];
  alignas(32) float short_matrix[2][18][36];
  ImdctTables() {
    double win[4][36] = {};
    for (int i = 0; i < 36; ++i) win[0][i] = std::sin(kPi / 36 * (i + 0.5));
    for (int i = 0; i < 18; ++i) win[1][i] = std::sin(kPi / 36 * (i + 0.5));
    for (int i = 18; i < 24; ++i) win[1][i] = 1.0;
    for (int i = 24; i < 30; ++i) win[1][i] = std::sin(kPi / 12 * (i - 18 + 0.5));
    for (int i = 6; i < 12; ++i) win[3][i] = std::sin(kPi / 12 * (i - 6 + 0.5));
    for (int i = 12; i < 18; ++i) win[3][i] = 1.0;
    for (int i = 18; i < 36; ++i) win[3][i] = std::sin(kPi / 36 * (i + 0.5));
    std::memset(cos36, 0, sizeof cos36);
    for (int k = 0; k < 18; ++k)
      for (int j = 0; j < 18; ++j) {
        const int i = j < 9 ? j : j + 9;
        cos36[k][j] = static_cast<float>(std::cos(kPi / 72 * (2 * i + 1 + 18) * (2 * k + 1)));
      }
    std::memset(window, 0, sizeof window);
    std::memset(short_matrix, 0, sizeof short_matrix);
    for (int odd = 0; odd < 2; ++odd) {
      for (int bt : {0, 1, 3})
        for (int i = 0; i < 36; ++i)
          window[bt][odd][i] = static_cast<float>(odd && (i & 1) ? -win[bt][i] : win[bt][i]);
      for (int w = 0; w < 3; ++w)
        for (int k = 0; k < 6; ++k)
          for (int i = 0; i < 12; ++i) {
            const double v =
                std::sin(kPi / 12 * (i + 0.5)) * std::cos(kPi / 24 * (2 * i + 1 + 6) * (2 * k + 1));
            const int out = 6 + 6 * w + i;
            short_matrix[odd][w * 6 + k][out] += static_cast<float>(odd && (out & 1) ? -v : v);
          }
    }
  }
};

const ImdctTables& Imdct() {
  static const ImdctTables tables;
  return tables;
}

// One long-block subband: 18 lines in, 18 outputs (added to the overlap), 18 new overlap values.
inline void LongBody(const float* __restrict x, const float (*__restrict c)[24], const float* __restrict win,
                     float* __restrict overlap, float (*__restrict out)[32], int sb) {
  float u[24] = {};
  for (int k = 0; k < 18; ++k) {
    const float v = x[k];
    for (int j = 0; j < 24; ++j) u[j] += v * c[k][j];
  }
  float y[36];
  for (int i = 0; i < 9; ++i) {
    y[i] = u[i];
    y[17 - i] = -u[i];
    y[18 + i] = u[9 + i];
    y[35 - i] = u[9 + i];
  }
  for (int i = 0; i < 18; ++i) {
    out[i][sb] = win[i] * y[i] + overlap[i];
    overlap[i] = win[18 + i] * y[18 + i];
  }
}

// One short-block subband through the windowed matrix.
inline void ShortBody(const float* __restrict x, const float (*__restrict m)[36], float* __restrict overlap,
                      float (*__restrict out)[32], int sb) {
  float acc[36] = {};
  for (int k = 0; k < 18; ++k) {
    const float v = x[k];
    for (int i = 0; i < 36; ++i) acc[i] += v * m[k][i];
  }
  for (int i = 0; i < 18; ++i) {
    out[i][sb] = acc[i] + overlap[i];
    overlap[i] = acc[18 + i];
  }
}

struct TransformKernels {
  void (*long_block)(const float*, const float (*)[24], const float*, float*, float (*)[32], int);
  void (*short_block)(const float*, const float (*)[36], float*, float (*)[32], int);
};

#if defined(__x86_64__) || defined(__i386__)
// The same kernels compiled for AVX2 with fused multiply-add, chosen where the processor has them.
__attribute__((target("avx2,fma"))) void LongAvx2(const float* x, const float (*c)[24], const float* win,
                                                  float* overlap, float (*out)[32], int sb) {
  LongBody(x, c, win, overlap, out, sb);
}
__attribute__((target("avx2,fma"))) void ShortAvx2(const float* x, const float (*m)[36], float* overlap,
                                                   float (*out)[32], int sb) {
  ShortBody(x, m, overlap, out, sb);
}
#endif
void LongDefault(const float* x, const float (*c)[24], const float* win, float* overlap, float (*out)[32],
                 int sb) {
  LongBody(x, c, win, overlap, out, sb);
}
void ShortDefault(const float* x, const float (*m)[36], float* overlap, float (*out)[32], int sb) {
  ShortBody(x, m, overlap, out, sb);
}

TransformKernels ChooseTransform() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return {LongAvx2, ShortAvx2};
#endif
  return {LongDefault, ShortDefault};
}

// Chosen once, on first use (thread-safe).
const TransformKernels& Kernels() {
  static const TransformKernels kernels = ChooseTransform();
  return kernels;
}

constexpr float kAntialiasCs[8] = {0.857492926f, 0.881741997f, 0.949628649f, 0.983314592f,
                                   0.995517816f, 0.999160558f, 0.999899195f, 0.999993155f};
constexpr float kAntialiasCa[8] = {-0.514495755f, -0.471731969f, -0.313377454f, -0.181913200f,
                                   -0.094574193f, -0.040965583f, -0.014198569f, -0.003699975f};

inline void Butterflies(float* xr, int boundary) {
  float* a = xr + 18 * boundary - 1;
  float* b = xr + 18 * boundary;
  for (int i = 0; i < 8; ++i) {
    const float u = a[-i], d = b[i];
    a[-i] = u * kAntialiasCs[i] - d * kAntialiasCa[i];
    b[i] = d * kAntialiasCs[i] + u * kAntialiasCa[i];
  }
}

// Big-values pairs [i, stop) of one gain segment; returns the line reached.
template <bool kLinbits>
inline int DecodePairs(const l3::HuffmanTable& t, const uint8_t* data, size_t& pos_ref, int i, int stop,
                       float gain, const float* pow43, float* xr, int& last) {
  const uint16_t* lut = t.lut;
  const int root = t.root_bits, linbits = t.linbits;
  size_t pos = pos_ref;
  for (; i < stop; i += 2) {
    uint64_t w = Window(data, pos);
    unsigned e = lut[w >> (64 - root)];
    int used = 0;
    if (__builtin_expect(e & 0x8000, 0)) {
      w <<= root;
      used = root;
      for (;;) {
        const int b = (e >> 12) & 7;
        e = lut[(e & 0xFFF) + (w >> (64 - b))];
        if (!(e & 0x8000)) break;
        w <<= b;
        used += b;
      }
    }
    const int len = (e >> 8) & 15;
    w <<= len;
    used += len;
    unsigned x = (e >> 4) & 15, y = e & 15;
    if (kLinbits && x == 15) {
      x += static_cast<unsigned>(w >> (64 - linbits));
      w <<= linbits;
      used += linbits;
    }
    // Sign bits follow non-zero values; the sign goes straight into the float's sign bit.
    const unsigned has_x = x != 0;
    const uint32_t sign_x = static_cast<uint32_t>(w >> 63) & has_x;
    w <<= has_x;
    used += static_cast<int>(has_x);
    if (kLinbits && y == 15) {
      y += static_cast<unsigned>(w >> (64 - linbits));
      w <<= linbits;
      used += linbits;
    }
    const unsigned has_y = y != 0;
    const uint32_t sign_y = static_cast<uint32_t>(w >> 63) & has_y;
    used += static_cast<int>(has_y);
    const float vx = pow43[x] * gain, vy = pow43[y] * gain;
    uint32_t bx, by;
    std::memcpy(&bx, &vx, 4);
    std::memcpy(&by, &vy, 4);
    bx ^= sign_x << 31;
    by ^= sign_y << 31;
    std::memcpy(&xr[i], &bx, 4);
    std::memcpy(&xr[i + 1], &by, 4);
    if (x | y) last = i + (y ? 2 : 1);
    pos += static_cast<size_t>(used);
  }
  pos_ref = pos;
  return i;
}

}  // namespace

void InitHybridKernels() {
  Kernels();
  Imdct();
  l3::HuffmanTables();
  l3::Pow43();
  l3::GainTable();
}

Layer3Decoder::Layer3Decoder() {
  InitHybridKernels();
  Reset();
}

void Layer3Decoder::Reset() {
  std::memset(overlap_, 0, sizeof overlap_);
  std::memset(scale_long_, 0, sizeof scale_long_);
  std::memset(scale_short_, 0, sizeof scale_short_);
}

int Layer3Decoder::ReadSideInfo(const FrameHeader& header, const uint8_t* side_info, size_t size) {
  header_ = header;
  const bool lsf = header.lsf();
  granules_ = lsf ? 1 : 2;
  channels_ = header.channels();
  ms_stereo_ = header.mode == kJointStereo && (header.mode_extension & 2);
  i_stereo_ = header.mode == kJointStereo && (header.mode_extension & 1);

  BitReader br(side_info, size);
  if (!lsf) {
    main_data_begin_ = static_cast<int>(br.Read(9));
    br.Skip(channels_ == 1 ? 5 : 3);
    for (int ch = 0; ch < channels_; ++ch)
      for (int band = 0; band < 4; ++band) scfsi_[ch][band] = static_cast<int>(br.Read(1));
  } else {
    main_data_begin_ = static_cast<int>(br.Read(8));
    br.Skip(channels_ == 1 ? 1 : 2);
    std::memset(scfsi_, 0, sizeof scfsi_);
  }
  const l3::BandLayout& bands = l3::Bands(header.version, header.sampling_index);
  for (int gr = 0; gr < granules_; ++gr) {
    for (int ch = 0; ch < channels_; ++ch) {
      GranuleChannel& g = gc_[gr][ch];
      g.part23_length = static_cast<int>(br.Read(12));
      g.big_values = static_cast<int>(br.Read(9));
      if (g.big_values > 288) RaiseStreamError();
      g.global_gain = static_cast<int>(br.Read(8));
      g.scalefac_compress = static_cast<int>(br.Read(lsf ? 9 : 4));
      g.window_switching = static_cast<int>(br.Read(1));
      if (g.window_switching) {
        g.block_type = static_cast<int>(br.Read(2));
        g.mixed_block = static_cast<int>(br.Read(1));
        if (g.block_type == 0) RaiseStreamError();
        g.table_select[0] = static_cast<int>(br.Read(5));
        g.table_select[1] = static_cast<int>(br.Read(5));
        g.table_select[2] = 0;
        for (int& s : g.subblock_gain) s = static_cast<int>(br.Read(3));
        g.region0_count = g.region1_count = 0;
        // The first region is implicit: three short bands (block type 2), else eight long
        // bands. That is 36 lines, or 54 for MPEG-2 long bands, except at 8 kHz, whose bands
        // are twice as wide (72 and 108), as the encoders lay it out.
        g.region1_start = g.block_type == 2 ? 3 * bands.short_start[3] : bands.long_start[8];
        g.region2_start = 576;
      } else {
        g.block_type = 0;
        g.mixed_block = 0;
        for (int& t : g.table_select) t = static_cast<int>(br.Read(5));
        for (int& s : g.subblock_gain) s = 0;
        g.region0_count = static_cast<int>(br.Read(4));
        g.region1_count = static_cast<int>(br.Read(3));
        g.region1_start = bands.long_start[g.region0_count + 1];
        const int r2 = g.region0_count + g.region1_count + 2;
        g.region2_start = r2 < 22 ? bands.long_start[r2] : 576;
      }
      g.preflag = lsf ? 0 : static_cast<int>(br.Read(1));
      g.scalefac_scale = static_cast<int>(br.Read(1));
      g.count1_table = static_cast<int>(br.Read(1));
    }
  }
  return main_data_begin_;
}

void Layer3Decoder::ReadScaleFactorsMpeg1(int gr, int ch) {
  const GranuleChannel& g = gc_[gr][ch];
  const int slen1 = kSlen[0][g.scalefac_compress], slen2 = kSlen[1][g.scalefac_compress];
  uint8_t* sl = scale_long_[ch];
  auto read = [this](int bits) -> uint8_t {
    if (!bits) return 0;
    const uint32_t v = static_cast<uint32_t>(Window(data_, bit_) >> (64 - bits));
    bit_ += bits;
    return static_cast<uint8_t>(v);
  };
  if (g.window_switching && g.block_type == 2) {
    const l3::BandLayout& bands = l3::Bands(header_.version, header_.sampling_index);
    int sfb = 0;
    if (g.mixed_block) {
      const int nlong = MixedLongBands(bands);
      for (; sfb < nlong; ++sfb) sl[sfb] = read(slen1);
      for (int i = nlong; i < 22; ++i) sl[i] = 0;
      sfb = MixedShortStart(bands);
    }
    for (int s = 0; s < sfb; ++s)
      scale_short_[ch][s][0] = scale_short_[ch][s][1] = scale_short_[ch][s][2] = 0;
    for (; sfb < 12; ++sfb)
      for (int w = 0; w < 3; ++w) scale_short_[ch][sfb][w] = read(sfb < 6 ? slen1 : slen2);
    scale_short_[ch][12][0] = scale_short_[ch][12][1] = scale_short_[ch][12][2] = 0;
    return;
  }
  static constexpr int kGroup[5] = {0, 6, 11, 16, 21};
  for (int group = 0; group < 4; ++group) {
    const bool reuse = gr == 1 && scfsi_[ch][group];
    for (int sfb = kGroup[group]; sfb < kGroup[group + 1]; ++sfb)
      if (!reuse) sl[sfb] = read(group < 2 ? slen1 : slen2);
  }
  sl[21] = 0;
}

void Layer3Decoder::ReadScaleFactorsMpeg2(int ch) {
  const GranuleChannel& g = gc_[0][ch];
  int slen[4] = {};
  int table = 0;
  int sfc = g.scalefac_compress;
  int preflag = 0;
  if (i_stereo_ && ch == 1) {
    sfc >>= 1;
    if (sfc < 180) {
      slen[0] = sfc / 36;
      slen[1] = (sfc % 36) / 6;
      slen[2] = sfc % 6;
      table = 3;
    } else if (sfc < 244) {
      sfc -= 180;
      slen[0] = (sfc & 63) >> 4;
      slen[1] = (sfc & 15) >> 2;
      slen[2] = sfc & 3;
      table = 4;
    } else {
      sfc -= 244;
      slen[0] = sfc / 3;
      slen[1] = sfc % 3;
      table = 5;
    }
  } else if (sfc < 400) {
    slen[0] = (sfc >> 4) / 5;
    slen[1] = (sfc >> 4) % 5;
    slen[2] = (sfc & 15) >> 2;
    slen[3] = sfc & 3;
  } else if (sfc < 500) {
    sfc -= 400;
    slen[0] = (sfc >> 2) / 5;
    slen[1] = (sfc >> 2) % 5;
    slen[2] = sfc & 3;
    table = 1;
  } else {
    sfc -= 500;
    slen[0] = sfc / 3;
    slen[1] = sfc % 3;
    preflag = 1;
    table = 2;
  }
  gc_[0][ch].preflag = preflag;
  const int kind = (g.window_switching && g.block_type == 2) ? (g.mixed_block ? 2 : 1) : 0;
  // Values in transmission order with their largest (illegal intensity) position.
  uint8_t values[39] = {}, maxima[39] = {};
  int n = 0;
  for (int part = 0; part < 4; ++part) {
    const int count = kPartitions[table][kind][part];
    const int bits = slen[part];
    for (int i = 0; i < count && n < 39; ++i, ++n) {
      if (bits) {
        values[n] = static_cast<uint8_t>(Window(data_, bit_) >> (64 - bits));
        bit_ += bits;
      }
      maxima[n] = static_cast<uint8_t>((1 << bits) - 1);
    }
  }
  std::memset(scale_long_[ch], 0, sizeof scale_long_[ch]);
  std::memset(scale_short_[ch], 0, sizeof scale_short_[ch]);
  std::memset(max_long_, 0, sizeof max_long_);
  std::memset(max_short_, 0, sizeof max_short_);
  int i = 0;
  if (kind == 0) {
    for (int sfb = 0; sfb < 21; ++sfb, ++i) {
      scale_long_[ch][sfb] = values[i];
      max_long_[sfb] = maxima[i];
    }
    max_long_[21] = max_long_[20];
  } else {
    int sfb = 0;
    if (kind == 2) {
      for (; sfb < 6; ++sfb, ++i) {
        scale_long_[ch][sfb] = values[i];
        max_long_[sfb] = maxima[i];
      }
      sfb = 3;
    }
    for (; sfb < 12; ++sfb)
      for (int w = 0; w < 3; ++w, ++i) {
        scale_short_[ch][sfb][w] = values[i];
        max_short_[sfb] = maxima[i];
      }
    max_short_[12] = max_short_[11];
  }
}

void Layer3Decoder::DecodeHuffman(int gr, int ch, size_t end_bit) {
  const GranuleChannel& g = gc_[gr][ch];
  const l3::BandLayout& bands = l3::Bands(header_.version, header_.sampling_index);
  const float* gains = l3::GainTable() - l3::kGainMin;
  const float* pow43 = l3::Pow43();
  const l3::HuffmanTable* tables = l3::HuffmanTables();
  float* xr = xr_[ch];

  // Gain segments in line order.
  int seg_end[48];
  float seg_gain[48];
  int segments = 0;
  const int base = 210 - g.global_gain;
  const int shift = g.scalefac_scale ? 2 : 1;  // scale factor × 2 or × 4 in quarter steps
  const bool is_short = g.window_switching && g.block_type == 2;
  int long_bands = 22, first_short = 13;
  if (is_short) {
    long_bands = g.mixed_block ? MixedLongBands(bands) : 0;
    first_short = g.mixed_block ? MixedShortStart(bands) : 0;
  }
  for (int sfb = 0; sfb < long_bands; ++sfb) {
    const int pre = g.preflag ? kPretab[sfb] : 0;
    seg_end[segments] = bands.long_start[sfb + 1];
    seg_gain[segments++] = gains[base + ((scale_long_[ch][sfb] + pre) << shift)];
  }
  for (int sfb = first_short; sfb < 13; ++sfb) {
    const int width = bands.short_start[sfb + 1] - bands.short_start[sfb];
    for (int w = 0; w < 3; ++w) {
      seg_end[segments] = 3 * bands.short_start[sfb] + (w + 1) * width;
      seg_gain[segments++] = gains[base + 8 * g.subblock_gain[w] + (scale_short_[ch][sfb][w] << shift)];
    }
  }
  seg_end[segments] = 1 << 20;  // sentinel past the spectrum
  seg_gain[segments + 1] = 0.0f;
  seg_gain[segments] = 0.0f;

  const uint8_t* data = data_;
  size_t pos = bit_;
  int i = 0, s = 0, last = 0;
  const int bv_end = std::min(2 * g.big_values, 576);
  const int region_end[3] = {std::min(g.region1_start, bv_end), std::min(g.region2_start, bv_end), bv_end};
  for (int r = 0; r < 3; ++r) {
    const l3::HuffmanTable& t = tables[g.table_select[r]];
    const int stop_region = std::max(region_end[r], i);
    if (!t.lut) {
      for (; i < stop_region; ++i) xr[i] = 0.0f;
      continue;
    }
    while (i < stop_region) {
      while (i >= seg_end[s]) ++s;
      const int stop = std::min(stop_region, seg_end[s]);
      if (t.linbits)
        i = DecodePairs<true>(t, data, pos, i, stop, seg_gain[s], pow43, xr, last);
      else
        i = DecodePairs<false>(t, data, pos, i, stop, seg_gain[s], pow43, xr, last);
    }
  }

  // Count-1 region: quadruples of -1, 0, 1. A quadruple spans at most one band boundary.
  const l3::HuffmanTable& q = tables[32 + g.count1_table];
  const bool table_a = g.count1_table == 0;
  while (i < 576 && pos < end_bit) {
    uint64_t w = Window(data, pos);
    if (table_a && (w >> 63)) {
      // Each leading 1 is a quadruple of zeros: take the run at once.
      const int ones = (~w == 0) ? 57 : std::min(__builtin_clzll(~w), 57);
      const int n = static_cast<int>(std::min<size_t>(
          {static_cast<size_t>(ones), static_cast<size_t>((576 - i + 3) / 4), end_bit - pos}));
      std::memset(xr + i, 0, sizeof(float) * 4 * static_cast<size_t>(n));
      i += 4 * n;
      pos += static_cast<size_t>(n);
      continue;
    }
    const unsigned e = q.lut[w >> (64 - q.root_bits)];
    const int len = (e >> 8) & 15;
    w <<= len;
    size_t next = pos + static_cast<size_t>(len);
    while (i >= seg_end[s]) ++s;
    const int split = seg_end[s] - i;  // lines of the quadruple still in segment s
    const float g0 = seg_gain[s], g1 = seg_gain[s + 1];
    const unsigned v = e & 15;
    uint32_t bits[4];
    for (int k = 0; k < 4; ++k) {
      const unsigned on = (v >> (3 - k)) & 1;
      const uint32_t sign = static_cast<uint32_t>(w >> 63) & on;
      w <<= on;
      next += on;
      const float value = on ? (k < split ? g0 : g1) : 0.0f;
      std::memcpy(&bits[k], &value, 4);
      bits[k] ^= sign << 31;
    }
    if (next > end_bit) break;  // ran past the granule's bits: discard
    std::memcpy(xr + i, bits, sizeof bits);
    if (v) last = i + 4 - __builtin_ctz(v);
    i += 4;
    pos = next;
  }
  for (; i < 576; ++i) xr[i] = 0.0f;
  nonzero_[ch] = std::min(last, 576);
}

void Layer3Decoder::Stereo(int gr) {
  float* l = xr_[0];
  float* r = xr_[1];
  const GranuleChannel& g = gc_[gr][1];
  const l3::BandLayout& bands = l3::Bands(header_.version, header_.sampling_index);
  const bool lsf = header_.lsf();
  uint8_t done[576];  // lines reconstructed from intensity positions
  int limit = std::max(nonzero_[0], nonzero_[1]);

  if (i_stereo_) {
    std::memset(done, 0, sizeof done);
    // Intensity ratios: MPEG-1 from tan(pos·π/12); MPEG-2 powers of 2^(-1/4) or 2^(-1/2).
    const int scale = lsf ? (g.scalefac_compress & 1) : 0;
    auto apply = [&](int from, int to, int position, int illegal) {
      if (lsf ? position == illegal : position >= 7) return;
      float kl, kr;
      if (!lsf) {
        if (position == 6) {
          kl = 1.0f;
          kr = 0.0f;
        } else {
          const double t = std::tan(position * kPi / 12);
          kl = static_cast<float>(t / (1 + t));
          kr = static_cast<float>(1 / (1 + t));
        }
      } else {
        const double io = scale ? 0.70710678118654752 : 0.84089641525371454;
        if (position == 0) {
          kl = kr = 1.0f;
        } else if (position & 1) {
          kl = static_cast<float>(std::pow(io, (position + 1) / 2));
          kr = 1.0f;
        } else {
          kl = 1.0f;
          kr = static_cast<float>(std::pow(io, position / 2));
        }
      }
      for (int j = from; j < to; ++j) {
        const float v = l[j];
        l[j] = v * kl;
        r[j] = v * kr;
        done[j] = 1;
      }
      limit = std::max(limit, to);
    };
    auto last_nonzero = [r](int from, int to) {
      for (int j = to - 1; j >= from; --j)
        if (r[j] != 0.0f) return j;
      return -1;
    };
    const bool is_short = g.window_switching && g.block_type == 2;
    if (!is_short) {
      const int last = last_nonzero(0, 576);
      int sfb = 0;
      while (sfb < 22 && bands.long_start[sfb] <= last) ++sfb;
      // The last band has no position of its own: it continues band 20 when that one is
      // intensity coded; otherwise MPEG-1 leaves it alone and MPEG-2 takes position 0.
      const bool last_follows = sfb <= 20;
      for (; sfb < 22; ++sfb) {
        if (sfb == 21 && !last_follows) {
          if (lsf) apply(bands.long_start[21], 576, 0, -1);
          break;
        }
        const int src = std::min(sfb, 20);
        apply(bands.long_start[sfb], bands.long_start[sfb + 1], scale_long_[1][src],
              lsf ? max_long_[src] : 7);
      }
    } else {
      const int first_short = g.mixed_block ? MixedShortStart(bands) : 0;
      bool short_nonzero = false;
      for (int w = 0; w < 3; ++w) {
        int bound = first_short;
        for (int sfb = first_short; sfb < 13; ++sfb) {
          const int width = bands.short_start[sfb + 1] - bands.short_start[sfb];
          const int from = 3 * bands.short_start[sfb] + w * width;
          if (last_nonzero(from, from + width) >= 0) bound = sfb + 1;
        }
        if (bound > first_short) short_nonzero = true;
        for (int sfb = bound; sfb < 13; ++sfb) {
          const int width = bands.short_start[sfb + 1] - bands.short_start[sfb];
          const int from = 3 * bands.short_start[sfb] + w * width;
          if (sfb == 12 && bound == 12) {  // band 12 only continues band 11
            if (lsf) apply(from, from + width, 0, -1);
            break;
          }
          const int src = std::min(sfb, 11);
          apply(from, from + width, scale_short_[1][src][w], lsf ? max_short_[src] : 7);
        }
      }
      if (g.mixed_block && !short_nonzero) {
        const int nlong = MixedLongBands(bands);
        const int last = last_nonzero(0, bands.long_start[nlong]);
        int sfb = 0;
        while (sfb < nlong && bands.long_start[sfb] <= last) ++sfb;
        for (; sfb < nlong; ++sfb)
          apply(bands.long_start[sfb], bands.long_start[sfb + 1], scale_long_[1][sfb],
                lsf ? max_long_[sfb] : 7);
      }
    }
  }

  if (ms_stereo_) {
    constexpr float c = 0.70710678118654752f;
    if (i_stereo_) {
      for (int j = 0; j < limit; ++j) {
        if (done[j]) continue;
        const float m = l[j], s = r[j];
        l[j] = (m + s) * c;
        r[j] = (m - s) * c;
      }
    } else {
      for (int j = 0; j < limit; ++j) {
        const float m = l[j], s = r[j];
        l[j] = (m + s) * c;
        r[j] = (m - s) * c;
      }
    }
  }
  nonzero_[0] = nonzero_[1] = limit;
}

void Layer3Decoder::Hybrid(int ch, int gr, int subband_limit, float (*out)[32]) {
  const GranuleChannel& g = gc_[gr][ch];
  float* xr = xr_[ch];
  const bool is_short = g.window_switching && g.block_type == 2;
  int nonzero = nonzero_[ch];

  if (is_short) {
    // Reorder the short windows from band order to subband order (window-major per subband).
    const l3::BandLayout& bands = l3::Bands(header_.version, header_.sampling_index);
    const int first_short = g.mixed_block ? MixedShortStart(bands) : 0;
    const int from = 3 * bands.short_start[first_short];
    if (nonzero > from) {
      alignas(32) float tmp[576];
      std::memcpy(tmp + from, xr + from, sizeof(float) * (576 - from));
      std::memset(xr + from, 0, sizeof(float) * (576 - from));
      int top = 0;
      for (int sfb = first_short; sfb < 13; ++sfb) {
        const int start = bands.short_start[sfb];
        const int width = bands.short_start[sfb + 1] - start;
        for (int w = 0; w < 3; ++w) {
          const float* src = tmp + 3 * start + w * width;
          for (int f = 0; f < width; ++f) {
            const int line = start + f;
            const int dest = (line / 6) * 18 + w * 6 + line % 6;
            xr[dest] = src[f];
          }
        }
        if (3 * start < nonzero) top = ((start + width) / 6 + 1) * 18;
      }
      nonzero = std::max(std::min(top, 576), std::min(nonzero, from));
    }
    if (g.mixed_block && nonzero > 18) Butterflies(xr, 1);
  } else {
    const int bands_used = (nonzero + 17) / 18;
    for (int b = 1; b < std::min(bands_used + 1, 32); ++b) Butterflies(xr, b);
    if (bands_used < 32 && bands_used > 0) nonzero = std::min(576, 18 * bands_used + 8);
  }

  int count = std::min((nonzero + 17) / 18, subband_limit);
  const ImdctTables& t = Imdct();
  const int bt = g.window_switching ? g.block_type : 0;
  const TransformKernels& kernels = Kernels();
  for (int sb = 0; sb < count; ++sb) {
    const int type = (g.window_switching && g.mixed_block && sb < 2) ? 0 : bt;
    if (type == 2)
      kernels.short_block(xr + 18 * sb, t.short_matrix[sb & 1], overlap_[ch][sb], out, sb);
    else
      kernels.long_block(xr + 18 * sb, t.cos36, t.window[type][sb & 1], overlap_[ch][sb], out, sb);
  }
  for (int sb = count; sb < 32; ++sb) {
    float* o = overlap_[ch][sb];
    for (int i = 0; i < 18; ++i) out[i][sb] = o[i];
    std::memset(o, 0, sizeof(float) * 18);
  }
}

int Layer3Decoder::DecodeMainData(const uint8_t* main_data, size_t size, unsigned wanted, int subband_limit,
                                  float (*out)[36][32]) {
  data_ = main_data;
  bit_ = 0;
  const size_t total_bits = size * 8;
  for (int gr = 0; gr < granules_; ++gr) {
    for (int ch = 0; ch < channels_; ++ch) {
      const GranuleChannel& g = gc_[gr][ch];
      const size_t start = bit_;
      const size_t end = start + static_cast<size_t>(g.part23_length);
      if (header_.lsf())
        ReadScaleFactorsMpeg2(ch);
      else
        ReadScaleFactorsMpeg1(gr, ch);
      if (bit_ > end || end > total_bits + 64) {
        // Scale factors longer than the granule's bits, or bits beyond the data: nothing
        // sensible is coded here.
        std::memset(xr_[ch], 0, sizeof xr_[ch]);
        nonzero_[ch] = 0;
      } else {
        DecodeHuffman(gr, ch, end);
      }
      bit_ = end;
    }
    if (channels_ == 2 && (ms_stereo_ || i_stereo_)) Stereo(gr);
    for (int ch = 0; ch < channels_; ++ch) {
      if (!(wanted & (1u << ch))) continue;
      Hybrid(ch, gr, subband_limit, out[ch] + 18 * gr);
    }
  }
  return granules_;
}

}  // namespace svd
