// The TwinVQ format's codebooks and tables for the 44.1 kHz modes, as flat row-major arrays.
// twinvq_tables.cpp is generated from the format notes' table files by
// tools/gen_twinvq_tables.py and committed.
#pragma once

#include <cstdint>

namespace svvqf::tables {

// Main spectral codebooks A (0) and B (1): 64 rows each; the row stride is the column count.
extern const int16_t kCb4440S0[64 * 18], kCb4440S1[64 * 18];
extern const int16_t kCb4440M0[64 * 17], kCb4440M1[64 * 17];
extern const int16_t kCb4440L0[64 * 17], kCb4440L1[64 * 17];
extern const int16_t kCb4448S0[64 * 15], kCb4448S1[64 * 15];
extern const int16_t kCb4448M0[64 * 14], kCb4448M1[64 * 14];
extern const int16_t kCb4448L0[64 * 14], kCb4448L1[64 * 14];

// Bark-envelope codebooks (64 rows x 10; value / 4096 is the band's offset) and the widths of
// the bark bands of a 128-, 512- and 2048-coefficient block.
extern const int16_t kFcb44S[64 * 10], kFcb44M[64 * 10], kFcb44L[64 * 10];
extern const int16_t kBarkS44[10], kBarkM44[20], kBarkL44[40];

// LSP codebook in radians, 20 columns: 64 stage-1 rows, 16 stage-2 rows, 2 prediction rows.
extern const float kLsp44[82 * 20];

// Periodic-peak shape codebook: rows 0-63 are codebook A, 64-127 codebook B, 9 columns.
extern const int16_t kShape44[128 * 9];

// Corrections of the peak-centre rounding: per peak number / 5, a row length and a table.
struct BrokenOpRow {
  int length;
  const uint8_t* table;
};
extern const uint8_t kBrokenOp7[385], kBrokenOp8[65], kBrokenOp9[450], kBrokenOp10[225], kBrokenOp11[495],
    kBrokenOp12[165];
extern const BrokenOpRow kBrokenOpIndex[13];

}  // namespace svvqf::tables
