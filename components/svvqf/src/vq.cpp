#include "vq.h"

#include <algorithm>
#include <cmath>

namespace svvqf {

namespace {

constexpr int kRows = 64;
constexpr int kPreselect = 8;  // candidates per codebook for the joint search

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

void Preselect(const float* corr, const float* energy, int rows, bool signed_, Candidate* out, int& count) {
  Candidate all[kRows];
  for (int i = 0; i < rows; ++i) {
    const float c = signed_ ? std::fabs(corr[i]) : corr[i];
    all[i] = {energy[i] - 2 * c, i, corr[i], energy[i]};
  }
  count = std::min(kPreselect, rows);
  std::partial_sort(all, all + count, all + rows, [](const Candidate& x, const Candidate& y) { return x.err < y.err; });
  std::copy(all, all + count, out);
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

    float best = 1e38f;
    int bestA = 0, bestB = 0, bestSA = 1, bestSB = 1;
    for (int i = 0; i < nA; ++i) {
      const float* ra = cb.RowA(candA[i].row);
      for (int j = 0; j < nB; ++j) {
        const float* rb = cb.RowB(candB[j].row);
        float cross = 0;
        for (int r = 0; r < len; ++r) cross += w[r] * ra[r] * rb[r];
        for (int sa = signA ? -1 : 1; sa <= 1; sa += 2) {
          for (int sb = signB ? -1 : 1; sb <= 1; sb += 2) {
            const float e = candA[i].energy - 2 * sa * candA[i].corr + candB[j].energy - 2 * sb * candB[j].corr +
                            2 * sa * sb * cross;
            if (e < best) {
              best = e;
              bestA = candA[i].row;
              bestB = candB[j].row;
              bestSA = sa;
              bestSB = sb;
            }
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
