// Weighted search of the two conjugate codebooks: each vector is coded as the sum of a row of
// codebook A and a row of codebook B, each with its own sign when its field has room for one.
#pragma once

#include "mode.h"

#include <cstdint>
#include <vector>

namespace svvqf {

// A pair of codebooks as floats, kept row-major and transposed for the search.
class ConjugateCodebook {
 public:
  // rows of `stride` values: A at a, B at b.
  ConjugateCodebook(const int16_t* a, const int16_t* b, int stride);
  int Stride() const { return stride_; }
  const float* RowA(int i) const { return a_.data() + i * stride_; }
  const float* RowB(int i) const { return b_.data() + i * stride_; }
  // Column r of all 64 rows.
  const float* ColumnA(int r) const { return at_.data() + r * 64; }
  const float* ColumnB(int r) const { return bt_.data() + r * 64; }
  const float* ColumnA2(int r) const { return at2_.data() + r * 64; }
  const float* ColumnB2(int r) const { return bt2_.data() + r * 64; }

 private:
  int stride_;
  std::vector<float> a_, b_, at_, bt_, at2_, bt2_;
};

struct VqFields {
  std::vector<uint16_t> a, b;  // field values as written (sign bit on top where present)
};

// Chooses the fields of every vector of `alloc` for the coefficient targets `target` with
// error weights `weight` (both indexed like the frame's coefficient array). Writes the coded
// values to `decoded` (same indexing) when it is not null.
void SearchVq(const Allocation& alloc, const ConjugateCodebook& cb, const float* target, const float* weight,
              VqFields& fields, float* decoded);

}  // namespace svvqf
