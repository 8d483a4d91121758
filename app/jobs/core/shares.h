// The share/total arithmetic of the job windows' total bar. Percentages are whole numbers
// rounded to the nearest, halves to the even neighbour.
#pragma once

#include <cstdint>

namespace sv::jobs {

// What one row of `rows` is worth on the total bar: rnd(1 / rows * 100).
std::int16_t FileShare(int rows);
// Where row `current` (from 1) of `rows` starts on the total bar: rnd((current - 1) / rows * 100).
std::int16_t FileBase(int rows, int current);
// The total bar for a row at `percent`: rnd(percent * share / 100 + base). percent * share is
// a 16-bit product: out of that range it raises run-time error 6 (Overflow).
std::int16_t TotalPercent(int percent, int share, int base);
// The same for row `current` of `rows`.
std::int16_t TotalPercentOfRows(int percent, int rows, int current);
// The total bar once row `done` of `rows` is finished: rnd(done / rows * 100).
std::int16_t RowsDonePercent(int done, int rows);

}  // namespace sv::jobs
