#include "synth.h"

#include <cmath>
#include <cstring>

// The vector paths exist where the processor family has them; elsewhere the plain C++ path
// is the only one.
#if defined(__x86_64__) || defined(__i386__)
#define SVD_SYNTH_X86 1
#include <emmintrin.h>
#include <immintrin.h>
#else
#define SVD_SYNTH_X86 0
#endif

namespace svd {
namespace {

// Synthesis window of ISO/IEC 11172-3 (table of D[i]) in units of 2^-16; the standard's
// decimal values are these integers divided by 65536, rounded to nine places.
constexpr int32_t kWindow[512] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,     -3,     -3,
    -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,     -10,    -11,    -13,    -14,
    -16,    -17,    -19,    -21,    -24,    -26,    -29,    -31,    -35,    -38,    -41,    -45,    -49,
    -53,    -58,    -63,    -68,    -73,    -79,    -85,    -91,    -97,    -104,   -111,   -117,   -125,
    -132,   -139,   -147,   -154,   -161,   -169,   -176,   -183,   -190,   -196,   -202,   -208,   213,
    218,    222,    225,    227,    228,    228,    227,    224,    221,    215,    208,    200,    189,
    177,    163,    146,    127,    106,    83,     57,     29,     -2,     -36,    -72,    -111,   -153,
    -197,   -244,   -294,   -347,   -401,   -459,   -519,   -581,   -645,   -711,   -779,   -848,   -919,
    -991,   -1064,  -1137,  -1210,  -1283,  -1356,  -1428,  -1498,  -1567,  -1634,  -1698,  -1759,  -1817,
    -1870,  -1919,  -1962,  -2001,  -2032,  -2057,  -2075,  -2085,  -2087,  -2080,  -2063,  2037,   2000,
    1952,   1893,   1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,
    185,    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,  -3004,  -3351,
    -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,  -6935,  -7271,  -7597,  -7910,
    -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,  -9727,  -9838,  -9916,  -9959,  -9966,  -9935,
    -9863,  -9750,  -9592,  -9389,  -9139,  -8840,  -8492,  -8092,  -7640,  -7134,  6574,   5959,   5288,
    4561,   3776,   2935,   2037,   1082,   70,     -998,   -2122,  -3300,  -4533,  -5818,  -7154,  -8540,
    -9975,  -11455, -12980, -14548, -16155, -17799, -19478, -21189, -22929, -24694, -26482, -28289, -30112,
    -31947, -33791, -35640, -37489, -39336, -41176, -43006, -44821, -46617, -48390, -50137, -51853, -53534,
    -55178, -56778, -58333, -59838, -61289, -62684, -64019, -65290, -66494, -67629, -68692, -69679, -70590,
    -71420, -72169, -72835, -73415, -73908, -74313, -74630, -74856, -74992, 75038,  74992,  74856,  74630,
    74313,  73908,  73415,  72835,  72169,  71420,  70590,  69679,  68692,  67629,  66494,  65290,  64019,
    62684,  61289,  59838,  58333,  56778,  55178,  53534,  51853,  50137,  48390,  46617,  44821,  43006,
    41176,  39336,  37489,  35640,  33791,  31947,  30112,  28289,  26482,  24694,  22929,  21189,  19478,
    17799,  16155,  14548,  12980,  11455,  9975,   8540,   7154,   5818,   4533,   3300,   2122,   998,
    -70,    -1082,  -2037,  -2935,  -3776,  -4561,  -5288,  -5959,  6574,   7134,   7640,   8092,   8492,
    8840,   9139,   9389,   9592,   9750,   9863,   9935,   9966,   9959,   9916,   9838,   9727,   9585,
    9416,   9219,   8998,   8755,   8491,   8209,   7910,   7597,   7271,   6935,   6589,   6237,   5879,
    5517,   5153,   4788,   4425,   4063,   3705,   3351,   3004,   2663,   2330,   2006,   1692,   1388,
    1095,   814,    545,    288,    45,     -185,   -402,   -605,   -794,   -970,   -1131,  -1280,  -1414,
    -1535,  -1644,  -1739,  -1822,  -1893,  -1952,  -2000,  2037,   2063,   2080,   2087,   2085,   2075,
    2057,   2032,   2001,   1962,   1919,   1870,   1817,   1759,   1698,   1634,   1567,   1498,   1428,
    1356,   1283,   1210,   1137,   1064,   991,    919,    848,    779,    711,    645,    581,    519,
    459,    401,    347,    294,    244,    197,    153,    111,    72,     36,     2,      -29,    -57,
    -83,    -106,   -127,   -146,   -163,   -177,   -189,   -200,   -208,   -215,   -221,   -224,   -227,
    -228,   -228,   -227,   -225,   -222,   -218,   213,    208,    202,    196,    190,    183,    176,
    169,    161,    154,    147,    139,    132,    125,    117,    111,    104,    97,     91,     85,
    79,     73,     68,     63,     58,     53,     49,     45,     41,     38,     35,     31,     29,
    26,     24,     21,     19,     17,     16,     14,     13,     11,     10,     9,      8,      7,
    7,      6,      5,      5,      4,      4,      3,      3,      2,      2,      2,      2,      1,
    1,      1,      1,      1,      1,
};

struct Tables {
  // window[shift][t][i] = D[(i << shift) + 32 t] * 32768: the coefficient of the slot t slots
  // back for output i (of 32 >> shift), laid out so the windowing runs along i.
  alignas(64) float window[3][16][32];
  // Butterfly constants 1 / (2 cos((2k + 1) pi / 2N)) of the N-point stages.
  float c32[16], c16[8], c8[4], c4[2], c2[1];
};

Tables MakeTables() {
  Tables t{};
  for (int s = 0; s < 3; ++s)
    for (int slot = 0; slot < 16; ++slot)
      for (int i = 0; i < (32 >> s); ++i)
        t.window[s][slot][i] = static_cast<float>(kWindow[(i << s) + 32 * slot]) * 0.5f;
  const double pi = std::acos(-1.0);
  auto fill = [pi](float* c, int n) {
    for (int k = 0; k < n / 2; ++k) c[k] = static_cast<float>(0.5 / std::cos((2 * k + 1) * pi / (2 * n)));
  };
  fill(t.c32, 32);
  fill(t.c16, 16);
  fill(t.c8, 8);
  fill(t.c4, 4);
  fill(t.c2, 2);
  return t;
}

const Tables kTables = MakeTables();

template <int N>
inline const float* Constants() {
  if constexpr (N == 32) return kTables.c32;
  if constexpr (N == 16) return kTables.c16;
  if constexpr (N == 8) return kTables.c8;
  if constexpr (N == 4) return kTables.c4;
  if constexpr (N == 2) return kTables.c2;
  return nullptr;
}

// N-point DCT-II, X[m] = sum x[k] cos(pi m (2k + 1) / 2N), by the recursive split into the
// transform of the folded sums (even outputs) and of the scaled differences (odd outputs).
template <int N>
[[gnu::always_inline]] inline void Dct(const float* x, float* X) {
  if constexpr (N == 1) {
    X[0] = x[0];
  } else {
    constexpr int H = N / 2;
    const float* c = Constants<N>();
    float a[H], b[H], ea[H], ob[H];
    for (int k = 0; k < H; ++k) {
      a[k] = x[k] + x[N - 1 - k];
      b[k] = (x[k] - x[N - 1 - k]) * c[k];
    }
    Dct<H>(a, ea);
    Dct<H>(b, ob);
    for (int m = 0; m < H - 1; ++m) {
      X[2 * m] = ea[m];
      X[2 * m + 1] = ob[m] + ob[m + 1];
    }
    X[N - 2] = ea[H - 1];
    X[N - 1] = ob[H - 1];
  }
}

#if SVD_SYNTH_X86
[[gnu::always_inline]] inline __m128 Reverse(__m128 v) {
  return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}
[[gnu::always_inline]] inline __m128 Negate(__m128 v) { return _mm_xor_ps(v, _mm_set1_ps(-0.0f)); }
// (a0, b3, b2, b1): the lowest value of a, then b from the top down.
[[gnu::always_inline]] inline __m128 HeadAndReversedTail(__m128 a, __m128 b) {
  const __m128 t = _mm_move_ss(b, a);  // (a0, b1, b2, b3)
  return _mm_shuffle_ps(t, t, _MM_SHUFFLE(1, 2, 3, 0));
}

// The same 32-point transform with 4-wide vectors: the first two butterfly stages run along
// the input; their four 8-point sub-transforms run side by side in the four lanes after a
// transpose. Writes the two halves of V for the slot.
[[gnu::always_inline]] inline void Dct32Sse(const float* in, float* first, float* second) {
  const Tables& t = kTables;
  const __m128 x0 = _mm_loadu_ps(in), x1 = _mm_loadu_ps(in + 4), x2 = _mm_loadu_ps(in + 8),
               x3 = _mm_loadu_ps(in + 12), x4 = _mm_loadu_ps(in + 16), x5 = _mm_loadu_ps(in + 20),
               x6 = _mm_loadu_ps(in + 24), x7 = _mm_loadu_ps(in + 28);
  // 32 -> 16 + 16
  const __m128 r7 = Reverse(x7), r6 = Reverse(x6), r5 = Reverse(x5), r4 = Reverse(x4);
  const __m128 a0 = _mm_add_ps(x0, r7), a1 = _mm_add_ps(x1, r6), a2 = _mm_add_ps(x2, r5),
               a3 = _mm_add_ps(x3, r4);
  const __m128 b0 = _mm_mul_ps(_mm_sub_ps(x0, r7), _mm_loadu_ps(t.c32));
  const __m128 b1 = _mm_mul_ps(_mm_sub_ps(x1, r6), _mm_loadu_ps(t.c32 + 4));
  const __m128 b2 = _mm_mul_ps(_mm_sub_ps(x2, r5), _mm_loadu_ps(t.c32 + 8));
  const __m128 b3 = _mm_mul_ps(_mm_sub_ps(x3, r4), _mm_loadu_ps(t.c32 + 12));
  // 16 -> 8 + 8, on both halves
  const __m128 c16lo = _mm_loadu_ps(t.c16), c16hi = _mm_loadu_ps(t.c16 + 4);
  __m128 aa0 = _mm_add_ps(a0, Reverse(a3)), aa1 = _mm_add_ps(a1, Reverse(a2));
  __m128 ab0 = _mm_mul_ps(_mm_sub_ps(a0, Reverse(a3)), c16lo);
  __m128 ab1 = _mm_mul_ps(_mm_sub_ps(a1, Reverse(a2)), c16hi);
  __m128 ba0 = _mm_add_ps(b0, Reverse(b3)), ba1 = _mm_add_ps(b1, Reverse(b2));
  __m128 bb0 = _mm_mul_ps(_mm_sub_ps(b0, Reverse(b3)), c16lo);
  __m128 bb1 = _mm_mul_ps(_mm_sub_ps(b1, Reverse(b2)), c16hi);
  // Lane j of r[k] is input k of the j-th 8-point transform.
  _MM_TRANSPOSE4_PS(aa0, ab0, ba0, bb0);
  _MM_TRANSPOSE4_PS(aa1, ab1, ba1, bb1);
  const __m128 r[8] = {aa0, ab0, ba0, bb0, aa1, ab1, ba1, bb1};
  // 8-point transforms, four at once
  __m128 s[4], d[4];
  for (int k = 0; k < 4; ++k) {
    s[k] = _mm_add_ps(r[k], r[7 - k]);
    d[k] = _mm_mul_ps(_mm_sub_ps(r[k], r[7 - k]), _mm_set1_ps(t.c8[k]));
  }
  const __m128 c40 = _mm_set1_ps(t.c4[0]), c41 = _mm_set1_ps(t.c4[1]), c2 = _mm_set1_ps(t.c2[0]);
  auto dct4 = [&](const __m128* v, __m128* out) __attribute__((always_inline)) {
    const __m128 e0 = _mm_add_ps(v[0], v[3]), e1 = _mm_add_ps(v[1], v[2]);
    const __m128 o0 = _mm_mul_ps(_mm_sub_ps(v[0], v[3]), c40);
    const __m128 o1 = _mm_mul_ps(_mm_sub_ps(v[1], v[2]), c41);
    const __m128 p1 = _mm_mul_ps(_mm_sub_ps(o0, o1), c2);
    out[0] = _mm_add_ps(e0, e1);
    out[2] = _mm_mul_ps(_mm_sub_ps(e0, e1), c2);
    out[1] = _mm_add_ps(_mm_add_ps(o0, o1), p1);
    out[3] = p1;
  };
  __m128 se[4], so[4];
  dct4(s, se);
  dct4(d, so);
  __m128 y[9];
  for (int m = 0; m < 4; ++m) {
    y[2 * m] = se[m];
    y[2 * m + 1] = m < 3 ? _mm_add_ps(so[m], so[m + 1]) : so[3];
  }
  y[8] = _mm_setzero_ps();
  // Odd outputs of the 16-point stages (lanes 1 and 3) add their successor.
  const __m128 odd_lanes = _mm_castsi128_ps(_mm_set_epi32(-1, 0, -1, 0));
  __m128 tm[9];
  for (int m = 0; m < 8; ++m) tm[m] = _mm_add_ps(y[m], _mm_and_ps(y[m + 1], odd_lanes));
  tm[8] = _mm_setzero_ps();
  // X[4m .. 4m+3] = (t0, t2 + t3, t1, t3 + next t2)
  __m128 X[8];
  for (int m = 0; m < 8; ++m) {
    const __m128 p = _mm_shuffle_ps(tm[m], tm[m], _MM_SHUFFLE(3, 1, 2, 0));
    const __m128 q = _mm_shuffle_ps(tm[m], tm[m + 1], _MM_SHUFFLE(2, 0, 3, 0));
    X[m] = _mm_add_ps(p, _mm_and_ps(q, odd_lanes));
  }
  // V: first = (X16 .. X31, 0, -X31 .. -X17), second = (-X16 .. -X1, -X0 .. -X15).
  _mm_store_ps(first, X[4]);
  _mm_store_ps(first + 4, X[5]);
  _mm_store_ps(first + 8, X[6]);
  _mm_store_ps(first + 12, X[7]);
  _mm_store_ps(first + 16, Negate(HeadAndReversedTail(_mm_setzero_ps(), X[7])));
  _mm_store_ps(first + 20, Negate(HeadAndReversedTail(X[7], X[6])));
  _mm_store_ps(first + 24, Negate(HeadAndReversedTail(X[6], X[5])));
  _mm_store_ps(first + 28, Negate(HeadAndReversedTail(X[5], X[4])));
  _mm_store_ps(second, Negate(HeadAndReversedTail(X[4], X[3])));
  _mm_store_ps(second + 4, Negate(HeadAndReversedTail(X[3], X[2])));
  _mm_store_ps(second + 8, Negate(HeadAndReversedTail(X[2], X[1])));
  _mm_store_ps(second + 12, Negate(HeadAndReversedTail(X[1], X[0])));
  _mm_store_ps(second + 16, Negate(X[0]));
  _mm_store_ps(second + 20, Negate(X[1]));
  _mm_store_ps(second + 24, Negate(X[2]));
  _mm_store_ps(second + 28, Negate(X[3]));
}
#endif

inline int16_t ClipRound(float v) {
  if (!(v >= -32768.0f)) return -32768;  // also catches NaN
  if (v > 32767.0f) return 32767;
  return static_cast<int16_t>(std::lrintf(v));
}

}  // namespace

// The per-slot work, shared by all paths: transform one slot and store both halves.
struct SynthesisKernels {
  // Transforms a slot and writes the standard's V vector (its two 32-value halves, reduced
  // to every 2^shift-th value) into the current buffer and its partner at the ring index.
  template <int S, bool kVector>
  [[gnu::always_inline]] static inline void Transform(Synthesis& f, const float* slot) {
    constexpr int W = 32 >> S;
    constexpr int Q = W / 2;
    float in[32];
    if (f.equalise_) {
      for (int k = 0; k < 32; ++k) in[k] = slot[k] * f.gains_[k];
    } else {
      std::memcpy(in, slot, sizeof in);
    }
#if SVD_SYNTH_X86
    if constexpr (S == 0 && kVector) {
      Dct32Sse(in, f.v_[f.current_][f.ring_], f.v_[f.current_ ^ 1][f.ring_]);
      return;
    }
#endif
    // Only every 2^S-th output of the transform is needed: fold the input S times and
    // take the smaller transform.
    float y[W];
    if constexpr (S == 0) {
      Dct<32>(in, y);
    } else {
      float a[16];
      for (int k = 0; k < 16; ++k) a[k] = in[k] + in[31 - k];
      if constexpr (S == 1) {
        Dct<16>(a, y);
      } else {
        float b[8];
        for (int k = 0; k < 8; ++k) b[k] = a[k] + a[15 - k];
        Dct<8>(b, y);
      }
    }
    // V[i] = X[16 + i] for i < 64, with X[32] = 0, X[64 - m] = -X[m] and X[64 + m] = -X[m].
    float* first = f.v_[f.current_][f.ring_];
    float* second = f.v_[f.current_ ^ 1][f.ring_];
    for (int i = 0; i < Q; ++i) first[i] = y[Q + i];
    first[Q] = 0.0f;
    for (int i = Q + 1; i < W; ++i) first[i] = -y[3 * Q - i];
    for (int i = 0; i < Q; ++i) second[i] = -y[Q - i];
    for (int i = Q; i < W; ++i) second[i] = -y[i - Q];
  }

  static inline void Advance(Synthesis& f) {
    f.ring_ = (f.ring_ - 1) & 15;
    f.current_ ^= 1;
  }

  static inline int16_t* Store(const int16_t* pcm, int width, int16_t* out, int stride) {
    if (stride == 1) {
      std::memcpy(out, pcm, sizeof(int16_t) * width);
      return out + width;
    }
    for (int i = 0; i < width; ++i) out[i * stride] = pcm[i];
    return out + width * stride;
  }

  template <int S>
  static int16_t* RunScalar(Synthesis& f, const float (*slots)[32], int count, int16_t* out, int stride) {
    constexpr int W = 32 >> S;
    const float(*win)[32] = kTables.window[S];
    for (int n = 0; n < count; ++n) {
      Transform<S, false>(f, slots[n]);
      const float(*v)[32] = f.v_[f.current_];
      int16_t pcm[W];
      for (int i = 0; i < W; ++i) {
        float sum = 0.0f;
        for (int t = 0; t < 16; ++t) sum += win[t][i] * v[(f.ring_ + t) & 15][i];
        pcm[i] = ClipRound(sum);
      }
      out = Store(pcm, W, out, stride);
      Advance(f);
    }
    return out;
  }

#if SVD_SYNTH_X86
  // Clips to the 16-bit range in float (NaN becomes -32768), converts with the default
  // rounding mode (halves to even) and packs with saturation.
  [[gnu::always_inline]] static inline __m128i Pack(__m128 lo, __m128 hi) {
    const __m128 top = _mm_set1_ps(32767.0f), bottom = _mm_set1_ps(-32768.0f);
    lo = _mm_min_ps(_mm_max_ps(lo, bottom), top);
    hi = _mm_min_ps(_mm_max_ps(hi, bottom), top);
    return _mm_packs_epi32(_mm_cvtps_epi32(lo), _mm_cvtps_epi32(hi));
  }

  template <int S>
  static int16_t* RunSse2(Synthesis& f, const float (*slots)[32], int count, int16_t* out, int stride) {
    constexpr int W = 32 >> S;
    constexpr int V = W / 4;
    const float(*win)[32] = kTables.window[S];
    for (int n = 0; n < count; ++n) {
      Transform<S, true>(f, slots[n]);
      const float(*v)[32] = f.v_[f.current_];
      __m128 even[V], odd[V];
      for (int q = 0; q < V; ++q) even[q] = odd[q] = _mm_setzero_ps();
      for (int t = 0; t < 16; t += 2) {
        const float* r0 = v[(f.ring_ + t) & 15];
        const float* r1 = v[(f.ring_ + t + 1) & 15];
        for (int q = 0; q < V; ++q) {
          even[q] = _mm_add_ps(even[q], _mm_mul_ps(_mm_load_ps(win[t] + 4 * q), _mm_load_ps(r0 + 4 * q)));
          odd[q] = _mm_add_ps(odd[q], _mm_mul_ps(_mm_load_ps(win[t + 1] + 4 * q), _mm_load_ps(r1 + 4 * q)));
        }
      }
      alignas(16) int16_t pcm[W];
      for (int q = 0; q < V; q += 2) {
        __m128i packed = Pack(_mm_add_ps(even[q], odd[q]), _mm_add_ps(even[q + 1], odd[q + 1]));
        _mm_store_si128(reinterpret_cast<__m128i*>(pcm + 4 * q), packed);
      }
      out = Store(pcm, W, out, stride);
      Advance(f);
    }
    return out;
  }

  // Full-rate output of one channel into interleaved stereo: each 32-bit pair at the output
  // gets its low (this channel's) half replaced; the neighbour's samples are kept. The last
  // four samples are stored one by one, as the word after them may lie past the buffer.
  [[gnu::target("avx2,fma")]] static inline int16_t* StoreInterleavedAvx2(const __m256* even,
                                                                          const __m256* odd, int16_t* out) {
    const __m256 top = _mm256_set1_ps(32767.0f), bottom = _mm256_set1_ps(-32768.0f);
    for (int q = 0; q < 4; ++q) {
      const __m256 v = _mm256_min_ps(_mm256_max_ps(_mm256_add_ps(even[q], odd[q]), bottom), top);
      const __m256i samples = _mm256_cvtps_epi32(v);
      auto* at = reinterpret_cast<int*>(out + 16 * q);
      if (q < 3) {
        const __m256i old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm256_blend_epi16(old, samples, 0x55));
      } else {
        const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                         _mm_blend_epi16(old, _mm256_castsi256_si128(samples), 0x55));
        alignas(16) int32_t tail[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(tail), _mm256_extracti128_si256(samples, 1));
        for (int i = 0; i < 4; ++i) out[56 + 2 * i] = static_cast<int16_t>(tail[i]);
      }
    }
    return out + 64;
  }

  template <int S>
  [[gnu::target("avx2,fma")]] static int16_t* RunAvx2(Synthesis& f, const float (*slots)[32], int count,
                                                      int16_t* out, int stride) {
    constexpr int W = 32 >> S;
    constexpr int V = W / 8;
    const float(*win)[32] = kTables.window[S];
    for (int n = 0; n < count; ++n) {
      Transform<S, true>(f, slots[n]);
      const float(*v)[32] = f.v_[f.current_];
      alignas(32) float sum[W];
      if constexpr (V >= 2) {
        __m256 even[V], odd[V];
        for (int q = 0; q < V; ++q) even[q] = odd[q] = _mm256_setzero_ps();
        for (int t = 0; t < 16; t += 2) {
          const float* r0 = v[(f.ring_ + t) & 15];
          const float* r1 = v[(f.ring_ + t + 1) & 15];
          for (int q = 0; q < V; ++q) {
            even[q] = _mm256_fmadd_ps(_mm256_load_ps(win[t] + 8 * q), _mm256_load_ps(r0 + 8 * q), even[q]);
            odd[q] = _mm256_fmadd_ps(_mm256_load_ps(win[t + 1] + 8 * q), _mm256_load_ps(r1 + 8 * q), odd[q]);
          }
        }
        if constexpr (W == 32) {
          if (stride == 2) {
            out = StoreInterleavedAvx2(even, odd, out);
            Advance(f);
            continue;
          }
        }
        for (int q = 0; q < V; ++q) _mm256_store_ps(sum + 8 * q, _mm256_add_ps(even[q], odd[q]));
      } else {
        __m256 acc[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
        for (int t = 0; t < 16; ++t)
          acc[t & 3] =
              _mm256_fmadd_ps(_mm256_load_ps(win[t]), _mm256_load_ps(v[(f.ring_ + t) & 15]), acc[t & 3]);
        _mm256_store_ps(sum, _mm256_add_ps(_mm256_add_ps(acc[0], acc[1]), _mm256_add_ps(acc[2], acc[3])));
      }
      alignas(16) int16_t pcm[W];
      for (int q = 0; q < W / 4; q += 2) {
        __m128i packed = Pack(_mm_load_ps(sum + 4 * q), _mm_load_ps(sum + 4 * q + 4));
        _mm_store_si128(reinterpret_cast<__m128i*>(pcm + 4 * q), packed);
      }
      out = Store(pcm, W, out, stride);
      Advance(f);
    }
    return out;
  }

#endif

  template <int S>
  static int16_t* Run(Synthesis& f, const float (*slots)[32], int count, int16_t* out, int stride) {
#if SVD_SYNTH_X86
    switch (f.path_) {
      case Synthesis::Path::kAvx2:
        return RunAvx2<S>(f, slots, count, out, stride);
      case Synthesis::Path::kSse2:
        return RunSse2<S>(f, slots, count, out, stride);
      case Synthesis::Path::kScalar:
        break;
    }
#endif
    return RunScalar<S>(f, slots, count, out, stride);
  }
};

const int32_t* SynthesisWindow() { return kWindow; }

Synthesis::Synthesis() : path_(BestPath()) {
  std::memset(gains_, 0, sizeof gains_);
  Reset();
}

Synthesis::Path Synthesis::BestPath() {
#if SVD_SYNTH_X86
  static const Path best = [] {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return Path::kAvx2;
    return Path::kSse2;
  }();
  return best;
#else
  return Path::kScalar;
#endif
}

void Synthesis::SetPath(Path path) {
  // A path the processor cannot run falls back to the best it can: AVX2 to SSE2 on older x86
  // processors, every vector path to plain C++ elsewhere.
  const Path best = BestPath();
  if (path == Path::kAvx2 && best != Path::kAvx2) path = best;
  if (path == Path::kSse2 && best == Path::kScalar) path = best;
  path_ = path;
}

void Synthesis::Reset() {
  std::memset(v_, 0, sizeof v_);
  ring_ = 0;
  current_ = 0;
}

void Synthesis::SetReductionShift(int shift) {
  shift = shift < 0 ? 0 : (shift > 2 ? 2 : shift);
  if (shift != shift_) {
    shift_ = shift;
    Reset();
  }
}

void Synthesis::SetEqualiser(const float* gains) {
  equalise_ = gains != nullptr;
  if (equalise_) std::memcpy(gains_, gains, sizeof gains_);
}

int16_t* Synthesis::Run(const float (*slots)[32], int count, int16_t* out, int stride) {
  switch (shift_) {
    case 1:
      return SynthesisKernels::Run<1>(*this, slots, count, out, stride);
    case 2:
      return SynthesisKernels::Run<2>(*this, slots, count, out, stride);
    default:
      return SynthesisKernels::Run<0>(*this, slots, count, out, stride);
  }
}

int16_t* Synthesis::Silence(int count, int16_t* out, int stride) const {
  const int samples = count * (32 >> shift_);
  for (int i = 0; i < samples; ++i) out[i * stride] = 0;
  return out + samples * stride;
}

}  // namespace svd
