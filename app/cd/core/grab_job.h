// The CD grabbing job, without widgets: the checked tracks of a disc as rows of the job
// runner, the steps that grab a track to a WAV file or through svencode to an MP3 file, and
// the rip log. A window (frmRipperStatus) or a command-line tool drives it:
//
//   SvripperDisc disc(handle);                    // an open drive with its TOC read
//   GrabJob job(settings, toc, disc, info);
//   JobRunner runner(job.Rows(), job.Steps(), sink, questions, job.Options(&stopFlag));
//   runner.Load();
//   if (QString error = job.Prepare(); !error.isEmpty()) { show it; stop }
//   runner.Run();
//   // the sink passes RowFinished and JobFinished on to job.RowFinished / job.Finished
//
// Reads go in blocks of 26 frames into one buffer reused for the whole track, with at most
// three attempts per block; MP3 grabs give svencode one CD frame (588 stereo samples) per
// chunk.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "cd/core/disc_toc.h"
#include "cd/core/rip_log.h"
#include "convert/core/mp3_encode_step.h"
#include "convert/core/wave_options.h"
#include "jobs/core/job_runner.h"
#include "svripper.h"

namespace sv::grab {

inline constexpr int kBlockFrames = 26;
inline constexpr int kBlockBytes = kBlockFrames * SVR_FRAME_BYTES;  // 61152
inline constexpr int kReadAttempts = 3;
inline constexpr int kFrameSamples = SVR_FRAME_BYTES / 2;  // 1176 sample values

enum class OutputKind { Mp3, Wav };

QString TypeText(OutputKind kind);  // "CD->MP3", "CD->WAV"
// folder + "/track" + at least two digits + ".mp3" or ".wav"
QString TrackFileName(const QString& folder, int track, OutputKind kind);
// The encoder record from the positions of the page's four MP3 lists (44100 Hz input).
EncoderConfig RipperEncoderConfig(const WaveToAllOptions& positions);

struct GrabSettings {
  OutputKind kind = OutputKind::Mp3;
  // Positions of the sample rate, bitrate, channel and quality lists (the other fields unused).
  WaveToAllOptions mp3;
  QString outputFolder;
  bool overwrite = true;    // existing files are replaced without asking
  std::vector<int> tracks;  // disc track numbers, in order
};

// What the job reads from: an open drive.
class GrabDisc {
 public:
  virtual ~GrabDisc() = default;
  // ReadCDAudioLBA on the drive: 1 on success.
  virtual std::int32_t ReadBlock(SVR_TRACKBUF* buffer) = 0;
  // The library's text for the last failure.
  virtual QString ErrorText() = 0;
  // A CD-Text field of the disc (track 0) or a track; empty when there is none.
  virtual QString CdText(int track, int field) = 0;
};

// A drive handle of svripper (not owned: the window's module keeps it open).
class SvripperDisc : public GrabDisc {
 public:
  explicit SvripperDisc(SVR_HCDROM handle) : handle_(handle) {}
  std::int32_t ReadBlock(SVR_TRACKBUF* buffer) override;
  QString ErrorText() override;
  QString CdText(int track, int field) override;

 private:
  SVR_HCDROM handle_;
};

// What the log says about the drive and the program.
struct GrabInfo {
  QString program;
  QString drive;
  QString drivePath;
  QString readMode = QStringLiteral("secure: every frame verified and jitter corrected (paranoia)");
};

class GrabJob {
 public:
  GrabJob(GrabSettings settings, const SVR_TOC& toc, GrabDisc& disc, GrabInfo info,
          Mp3EncoderCalls mp3 = SvencodeCalls());
  ~GrabJob();
  GrabJob(const GrabJob&) = delete;
  GrabJob& operator=(const GrabJob&) = delete;

  jobs::JobRows& Rows();
  const jobs::StepTable& Steps() const { return steps_; }
  // The texts of the grab and the stop flag (with -1 meaning "stop", a window flag of its own).
  jobs::JobOptions Options(std::int16_t* stopFlag) const;

  // Before the first track: makes the output folder with its parents and starts the log.
  // Empty when the job can go on; otherwise the text to show (nothing was grabbed).
  QString Prepare();
  // Each track the runner reached, and the end of the job: the log follows.
  void RowFinished(const jobs::JobRow& row, const jobs::RowResult& result);
  void Finished();

  const GrabSettings& Settings() const { return settings_; }
  const DiscLayout& Disc() const { return layout_; }
  QString LogPath() const { return log_.IsOpen() ? log_.Path() : QString(); }
  // The log's entry of each track grabbed so far, by track number.
  const std::map<int, TrackEntry>& Entries() const { return entries_; }

 private:
  class TrackRows;
  class Step;

  // The ID3v1 tag of a track from the disc's CD-Text; empty when the disc has none.
  std::vector<std::uint8_t> tagOf(int track);

  GrabSettings settings_;
  SVR_TOC toc_;
  DiscLayout layout_;
  GrabDisc& disc_;
  GrabInfo info_;
  std::unique_ptr<TrackRows> rows_;
  jobs::StepTable steps_;
  RipLog log_;
  std::map<int, TrackEntry> entries_;
  int grabbed_ = 0, notGrabbed_ = 0, skipped_ = 0;
  bool finished_ = false;
  bool prepared_ = false;
};

// An ID3 version 1.1 tag: title, artist, album (Latin-1, cut to 30 bytes), the track number in
// the comment's last byte, genre unset.
std::vector<std::uint8_t> Id3v1Tag(const QString& title, const QString& artist, const QString& album,
                                   int track);

}  // namespace sv::grab
