// The progress callbacks handed to the whole-file decoders. Each draws the bars of the
// music-to-WAV window and lets the user interface run; both give back 0. (The encoders'
// callback belongs to the WAV-to-compressed job.)
#pragma once

#include <QRgb>

#include <cstdint>

namespace sv {

class PictureBox;

// A job window as the callbacks see it.
class ProgressTarget {
 public:
  virtual ~ProgressTarget() = default;
  virtual PictureBox* FileBar() = 0;
  virtual PictureBox* TotalBar() = 0;
  // Row of the file in work, from 1.
  virtual int CurrentFile() const = 0;
  virtual QRgb FileColor() const = 0;
  // Rows of the window's job list, read at every call.
  virtual int RowCount() const = 0;
};

// The music-to-WAV job registers itself while its window is loaded; with none registered
// the callbacks only give back 0.
void SetDecodeProgressTarget(ProgressTarget* target);

// Size in bytes of the VQF file being decoded; read by VqfDecodeProgress.
extern std::int32_t VqfSourceLength;

// The file percentage VqfDecodeProgress shows for a position and rate.
std::int16_t VqfDecodePercent(std::int32_t position, std::int32_t rate, std::int32_t sourceLength);

}  // namespace sv

extern "C" {
std::int16_t OggDecodeProgress(std::int16_t percent);
std::int16_t VqfDecodeProgress(std::int16_t position, std::int16_t rate);
}
