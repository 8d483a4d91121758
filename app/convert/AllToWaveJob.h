// The music-to-WAV job: turns every row of the job list into a WAV file, one after the
// other, on the user-interface thread. The status window shows it through AllToWaveView.
#pragma once

#include "Progress.h"
#include "ProgressCallbacks.h"

#include <QRgb>
#include <QString>

#include <cstdint>

namespace sv {

class PictureBox;

// Job list columns the job reads.
enum AllToWaveColumn : int { kColConvert = 3, kColSourcePath = 4, kColDesPath = 5 };

// What the job needs of its window.
class AllToWaveView {
 public:
  virtual ~AllToWaveView() = default;
  virtual int RowCount() const = 0;
  virtual QString Cell(int row, int column) const = 0;
  virtual bool OverwriteTicked() const = 0;
  virtual PictureBox* FileBar() = 0;
  virtual PictureBox* TotalBar() = 0;
  virtual void ShowConvertType(const QString& text) = 0;
  virtual void ShowSource(const QString& text) = 0;
  virtual void ShowOutput(const QString& text) = 0;
  virtual void SetStatus(const QString& text) = 0;
  virtual void SetStatusColor(QRgb color) = 0;
  virtual void SetCancelCaption(const QString& caption) = 0;
  // Closes the window.
  virtual void Unload() = 0;
};

// Status texts of the per-row steps.
inline constexpr const char* kCreateDecoderError = "Create decoder error!";
inline constexpr const char* kMp3InputError = "mp3 input error";
inline constexpr const char* kWaveOutputOpenError = "wave output open error";
inline constexpr const char* kMp3DecodeError = "mp3 decode error";
inline constexpr const char* kWaveOutputWriteError = "wave output write error";
inline constexpr const char* kDestinationIsSource = "destination is the source file";
inline constexpr const char* kFinishConverting = "Finish Converting!";
inline constexpr const char* kStopQuestion = "Really want to stop converting?";

class AllToWaveJob : public ProgressTarget {
 public:
  explicit AllToWaveJob(AllToWaveView& view);
  ~AllToWaveJob() override;
  AllToWaveJob(const AllToWaveJob&) = delete;
  AllToWaveJob& operator=(const AllToWaveJob&) = delete;

  // Window load: clears the cancel flag, draws both bars at 0, shows the ready line.
  void Load();
  // The start button: makes the output directory (with any missing parents) and converts.
  void Start();
  void ConvertAllFiles();
  // The cancel button.
  void Cancel();

  // Per-row steps: (source, destination) to a status text, empty on success or stop.
  QString DecodeMp3File(const QString& source, const QString& destination);
  QString DecodeOggFile(const QString& source, const QString& destination);
  QString DecodeVqfFile(const QString& source, const QString& destination);
  QString DecodeWmaFile(const QString& source, const QString& destination);

  bool Converting() const { return converting_; }
  const QString& CurrentType() const { return currentType_; }

  // ProgressTarget
  PictureBox* FileBar() override { return view_.FileBar(); }
  PictureBox* TotalBar() override { return view_.TotalBar(); }
  int CurrentFile() const override { return currentfile; }
  QRgb FileColor() const override { return filecolor; }
  int RowCount() const override { return view_.RowCount(); }

  std::int16_t currentfile = 0;
  QRgb filecolor = kJobBarColor;
  QRgb totalcolor = kJobBarColor;

 private:
  AllToWaveView& view_;
  bool converting_ = false;
  QString currentType_;
};

// "Total 3 files,ready for converting..."
QString ReadyLine(int rows);

}  // namespace sv
