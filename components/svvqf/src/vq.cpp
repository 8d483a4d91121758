#include "vq.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace svvqf {

namespace {

constexpr int kRows = 64;
constexpr int kPreselect = 7;  // candidates per codebook for the joint search

struct Candidate {
  float err;  // error of this row alone with its best sign
  int row;
  float corr;  // weighted correlation with the target
  float energy;
};

// Rows usable for a field of `bits` bits and whether it carries a sign.
void FieldShape(int bits, int& rows, bool& signed_) {
  signed_ = bits > 6;
  rows = std::min(kRows, 1 << std::min(bits, 6));
}

inline __attribute__((always_inline)) void Preselect(const float* corr, const float* energy, int rows,
                                                     bool signed_, Candidate* out, int& count) {
  // Each book of a conjugate pair is built to carry half of the vector: rank rows by how well
  // they match half the target.
  float err[kRows];
  for (int i = 0; i < rows; ++i) err[i] = energy[i] - (signed_ ? std::fabs(corr[i]) : corr[i]);
  count = std::min(kPreselect, rows);
  // The largest of kPreselect group minima bounds the kPreselect best from above, so only the
  // few rows under it need ordering. Groups are strided so the minima come out side by side.
  float bound = -3.4e38f;
  if (rows == kRows && count == kPreselect) {
    float m[kPreselect];
    for (int j = 0; j < kPreselect; ++j) m[j] = err[j];
    for (int g = 1; g < kRows / kPreselect; ++g)
      for (int j = 0; j < kPreselect; ++j) m[j] = std::min(m[j], err[g * kPreselect + j]);
    for (int j = 0; j < kPreselect; ++j) bound = std::max(bound, m[j]);
  } else {
    bound = 3.4e38f;  // small books: order them all
  }
  int idx[kRows];
  int n = 0;
  for (int i = 0; i < rows; ++i) {
    idx[n] = i;
    n += err[i] <= bound;
  }
  // The survivors into a short ordered list.
  int kept = 0;
  for (int a = 0; a < n; ++a) {
    const int i = idx[a];
    if (kept == count && err[i] >= out[count - 1].err) continue;
    int at = kept < count ? kept++ : count - 1;
    for (; at > 0 && out[at - 1].err > err[i]; --at) out[at] = out[at - 1];
    out[at] = {err[i], i, corr[i], energy[i]};
  }
}

}  // namespace

ConjugateCodebook::ConjugateCodebook(const int16_t* a, const int16_t* b, int stride)
    : stride_(stride),
      a_(a, a + kRows * stride),
      b_(b, b + kRows * stride),
      at_(kRows * stride),
      bt_(kRows * stride),
      at2_(kRows * stride),
      bt2_(kRows * stride) {
  for (int i = 0; i < kRows; ++i)
    for (int r = 0; r < stride; ++r) {
      at_[r * kRows + i] = a_[i * stride + r];
      bt_[r * kRows + i] = b_[i * stride + r];
      at2_[r * kRows + i] = a_[i * stride + r] * a_[i * stride + r];
      bt2_[r * kRows + i] = b_[i * stride + r] * b_[i * stride + r];
    }
}

// Most of the encoder's time is spent here: where the processor has them, wide vector
// instructions are used (chosen when the library loads).
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
void SearchVq(const Allocation& alloc, const ConjugateCodebook& cb, const float* target, const float* weight,
              VqFields& fields, float* decoded) {
  fields.a.assign(alloc.vectors, 0);
  fields.b.assign(alloc.vectors, 0);
  for (int v = 0; v < alloc.vectors; ++v) {
    const int len = alloc.Length(v);
    const int* dest = alloc.destination.data() + static_cast<size_t>(v) * alloc.lenFirst;
    float t[32], w[32], wt[32];
    for (int r = 0; r < len; ++r) {
      t[r] = target[dest[r]];
      w[r] = weight[dest[r]];
      wt[r] = w[r] * t[r];
    }
    // Correlation and energy of every row of both books in one pass over the columns.
    float corrA[kRows] = {}, corrB[kRows] = {}, enA[kRows] = {}, enB[kRows] = {};
    for (int r = 0; r < len; ++r) {
      const float* ca = cb.ColumnA(r);
      const float* cb_ = cb.ColumnB(r);
      const float* ca2 = cb.ColumnA2(r);
      const float* cb2 = cb.ColumnB2(r);
      for (int i = 0; i < kRows; ++i) {
        corrA[i] += wt[r] * ca[i];
        corrB[i] += wt[r] * cb_[i];
        enA[i] += w[r] * ca2[i];
        enB[i] += w[r] * cb2[i];
      }
    }
    const int bits = alloc.Bits(v);
    const int bitsA = Allocation::BitsA(bits), bitsB = Allocation::BitsB(bits);
    int rowsA, rowsB;
    bool signA, signB;
    FieldShape(bitsA, rowsA, signA);
    FieldShape(bitsB, rowsB, signB);
    Candidate candA[kPreselect], candB[kPreselect];
    int nA, nB;
    Preselect(corrA, enA, rowsA, signA, candA, nA);
    Preselect(corrB, enB, rowsB, signB, candB, nB);

    // Joint search over the preselected pairs: the cross terms of one A row against all B
    // candidates at once, then the four sign choices.
    float bw[32][kPreselect];
    for (int r = 0; r < len; ++r)
      for (int j = 0; j < kPreselect; ++j) bw[r][j] = j < nB ? w[r] * cb.RowB(candB[j].row)[r] : 0.0f;
    float cB[kPreselect], eB[kPreselect];
    for (int j = 0; j < kPreselect; ++j) {
      cB[j] = j < nB ? candB[j].corr : 0.0f;
      eB[j] = j < nB ? candB[j].energy : 3.0e37f;
    }
    float best = 3.4e38f;
    int bestA = 0, bestB = 0, bestSA = 1, bestSB = 1;
    for (int i = 0; i < nA; ++i) {
      const float* ra = cb.RowA(candA[i].row);
      float cross[kPreselect] = {};
      for (int r = 0; r < len; ++r)
        for (int j = 0; j < kPreselect; ++j) cross[j] += ra[r] * bw[r][j];
      const float eA = candA[i].energy, cA = candA[i].corr;
      for (int sa = signA ? -1 : 1; sa <= 1; sa += 2) {
        for (int sb = signB ? -1 : 1; sb <= 1; sb += 2) {
          float e[kPreselect];
          for (int j = 0; j < kPreselect; ++j)
            e[j] = eA - 2 * sa * cA + eB[j] - 2 * sb * cB[j] + 2 * sa * sb * cross[j];
          float lowest = e[0];
          for (int j = 1; j < kPreselect; ++j) lowest = std::min(lowest, e[j]);
          if (lowest >= best) continue;
          for (int j = 0; j < nB; ++j)
            if (e[j] < best) {
              best = e[j];
              bestA = candA[i].row;
              bestB = candB[j].row;
              bestSA = sa;
              bestSB = sb;
            }
        }
      }
    }
    fields.a[v] = static_cast<uint16_t>(bestA | (signA && bestSA < 0 ? 1 << (bitsA - 1) : 0));
    fields.b[v] = static_cast<uint16_t>(bestB | (signB && bestSB < 0 ? 1 << (bitsB - 1) : 0));
    if (decoded) {
      const float* ra = cb.RowA(bestA);
      const float* rb = cb.RowB(bestB);
      for (int r = 0; r < len; ++r) decoded[dest[r]] = bestSA * ra[r] + bestSB * rb[r];
    }
  }
}

}  // namespace svvqf
