// The progress callbacks handed to the whole-file codec libraries. Each draws the bars of
// the job window that is running and lets the user interface run; all give back 0.
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

// The music-to-WAV window and the WAV-to-compressed window register themselves while loaded;
// with none registered the callbacks only give back 0.
void SetDecodeProgressTarget(ProgressTarget* target);
void SetEncodeProgressTarget(ProgressTarget* target);

// Size in bytes of the VQF file being decoded; read by VqfDecodeProgress.
extern std::int32_t VqfSourceLength;

// The file percentage VqfDecodeProgress shows for a position and rate.
std::int16_t VqfDecodePercent(std::int32_t position, std::int32_t rate, std::int32_t sourceLength);

}  // namespace sv

extern "C" {
std::int16_t OggDecodeProgress(std::int16_t percent);
std::int16_t VqfDecodeProgress(std::int16_t position, std::int16_t rate);
std::int16_t OggEncodeProgress(std::int16_t percent);
std::int16_t VqfEncodeProgress(std::int16_t percent);
std::int16_t WmaProgress(std::int16_t percent);
}
