// The progress bar drawing shared by every job window, and the share/total arithmetic of
// the conversion jobs.
#pragma once

#include <QRgb>

#include <cstdint>

namespace sv {

class PictureBox;

// The bar colour of the conversion windows.
inline constexpr QRgb kJobBarColor = qRgb(16, 80, 128);

// Clears the box to white, centres "<percent>%" on it and fills the left percent of its
// width with `color` so that the digits over the bar show inverted. Each call redraws the
// whole box. `invert` is kept for callers' sake; the text is drawn in any case.
void DrawProgress(PictureBox* pic, float percent, QRgb color, bool invert = true);

// What one file of n is worth on the total bar: rnd(1 / n * 100).
std::int16_t FileShare(int rows);
// Where file `current` (1-based) of `rows` starts on the total bar: rnd((current - 1) / rows * 100).
std::int16_t FileBase(int rows, int current);
// The total bar for a file at `percent`: rnd(percent * share / 100 + base). percent * share
// is a 16-bit product; out of that range it raises error 6 (Overflow).
std::int16_t TotalPercent(int percent, int share, int base);
// The same for file `current` of `rows`.
std::int16_t TotalPercentOfRows(int percent, int rows, int current);

}  // namespace sv
