// The WAV-to-compressed job: every row of the page's job list becomes an MP3 (encoded here,
// chunk by chunk, through the svencode component), OGG, VQF or WMA file (one call each into
// the outside codec libraries). Plain C++; the status window only shows what it is told.
#pragma once

#include "platform/runtime_error.h"
#include "svencode.h"
#include "wave_options.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace sv {

// Columns of the job list the job reads.
inline constexpr int kColumnConvert = 3;
inline constexpr int kColumnSourcePath = 4;
inline constexpr int kColumnDesPath = 5;

// Colours as 0xBBGGRR, the program's colour values.
constexpr uint32_t RGB(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
inline constexpr uint32_t kBarColor = RGB(16, 80, 128);
inline constexpr uint32_t kStatusColor = RGB(0, 0, 0);
inline constexpr uint32_t kFinishedColor = RGB(23, 122, 18);
inline constexpr uint32_t kFailedColor = RGB(192, 0, 0);

// Status texts of refused rows.
inline constexpr const char* kNotPcm16Text = "source is not a 16-bit PCM wave file";
inline constexpr const char* kChannelsText = "source has more than two channels";
inline constexpr const char* kSourceOpenText = "can not open source file";
inline constexpr const char* kDestinationCreateText = "can not create destination file";
inline constexpr const char* kDestinationWriteText = "can not write destination file";
inline constexpr const char* kSameFileText = "destination is the source file";

// The encoder's text for a result code ("" for codes it does not know).
QString EncoderErrorText(int32_t code);

// What the job needs of its window and of the page it was started from.
class WaveToAllView {
 public:
  virtual ~WaveToAllView() = default;
  virtual int RowCount() = 0;
  virtual QString Cell(int row, int column) = 0;
  virtual bool OverwriteTicked() = 0;
  // The page's list positions, read when a file is encoded.
  virtual WaveToAllOptions Options() = 0;
  virtual void ShowRow(const QString& type, const QString& source, const QString& destination) = 0;
  virtual void SetStatus(const QString& text, uint32_t color) = 0;
  virtual void DrawFileBar(float percent, uint32_t color) = 0;
  virtual void DrawTotalBar(float percent, uint32_t color) = 0;
  virtual void SetCancelCaption(const QString& caption) = 0;
  // Unloads the window (after a stop).
  virtual void CloseWindow() = 0;
  // Lets the event loop run (clicks on the cancel button are handled here).
  virtual void Yield() = 0;
};

// The encoder's four stream calls.
struct Mp3EncoderCalls {
  std::function<int32_t(const EncoderConfig*, uint32_t*, uint32_t*, uint32_t*)> Init;
  std::function<int32_t(uint32_t, uint32_t, const int16_t*, uint8_t*, uint32_t*)> Encode;
  std::function<int32_t(uint32_t, uint8_t*, uint32_t*)> Deinit;
  std::function<int32_t(uint32_t)> Close;
};
// svencode, loaded by name at the first call; a missing library or entry point throws the
// loader's RuntimeError, a processor fault inside a call error 10000.
Mp3EncoderCalls SvencodeCalls();

// One whole-file call per outside library: (source, destination, setting). The call layer
// passes the progress callback and the address of CancelConvert; failures are thrown.
struct OutsideEncoderCalls {
  std::function<int32_t(const std::string&, const std::string&, int32_t level)> Ogg;
  std::function<int32_t(const std::string&, const std::string&, int32_t bitrate)> Vqf;
  std::function<int32_t(const std::string&, const std::string&, uint8_t profile)> Wma;
};
// svogg, svvqf and svwma (or the libraries named), each loaded by name at its first call.
OutsideEncoderCalls OutsideLibraryCalls(const char* ogg = "svogg", const char* vqf = "svvqf",
                                        const char* wma = "svwma");

class WaveToAllJob {
 public:
  WaveToAllJob(WaveToAllView& view, Mp3EncoderCalls mp3 = SvencodeCalls(),
               OutsideEncoderCalls outside = OutsideLibraryCalls());
  ~WaveToAllJob();
  WaveToAllJob(const WaveToAllJob&) = delete;
  WaveToAllJob& operator=(const WaveToAllJob&) = delete;

  // The window's load: clears CancelConvert, draws both bars at 0, shows the ready line.
  void Load();
  // The start button, after the output directory was created.
  void ConvertAllFiles();
  // The cancel button: closes, asks, or only raises the flag, depending on the state.
  void CancelClicked();

  // Per-row steps; each gives back the status text of the row.
  QString EncodeMp3File(const QString& source, const QString& destination);
  QString EncodeOggFile(const QString& source, const QString& destination);
  QString EncodeVqfFile(const QString& source, const QString& destination);
  QString EncodeWmaFile(const QString& source, const QString& destination);

  // Body of the encode progress callbacks of the outside libraries: both bars, then a yield.
  int16_t EncodeProgress(int16_t percent);
  // The job whose window is loaded, for those callbacks; null when none is.
  static WaveToAllJob* Active();

  bool Converting() const { return converting_; }
  const QString& CurrentType() const { return currentType_; }

  int16_t currentfile = 0;
  uint32_t filecolor = kBarColor;
  uint32_t totalcolor = kBarColor;

 private:
  int16_t totalPercent(int16_t percent);
  QString encodeMp3(const QString& source, const QString& destination);
  // The MP3 step's error handler: the error's text, then the "Error#" box; gives the text.
  QString mp3Failed(const RuntimeError& error);

  WaveToAllView& view_;
  Mp3EncoderCalls mp3_;
  OutsideEncoderCalls outside_;
  bool converting_ = false;
  QString currentType_;
};

}  // namespace sv

// The encode progress callbacks handed to svogg, svvqf and svwma: one percentage, 0 to 100;
// they draw the running job's bars and let the user interface run; the result is always 0.
extern "C" {
int16_t OggEncodeProgress(int16_t percent);
int16_t VqfEncodeProgress(int16_t percent);
int16_t WmaProgress(int16_t percent);
}
