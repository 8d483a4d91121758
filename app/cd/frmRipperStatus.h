// The grabbing window: the checked tracks of page 2 grabbed from the page's drive to WAV or
// MP3 files in RipperOutputDir, with the job's bars, status line and questions. The work
// itself is the widget-free GrabJob (cd/core/grab_job.h); this window opens the drive, reads
// the page's settings and shows the job.
#pragma once

#include <cstdint>
#include <memory>

#include "cd/core/grab_job.h"
#include "jobs/widgets/status_window.h"

namespace sv {

class CDPage;

class frmRipperStatus : public jobs::RowJobWindow {
  Q_OBJECT

 public:
  // Releases the drive handle still open, opens the page's drive and reads its TOC (on failure
  // "init Cd Rom Error", and the window has no tracks), then shows the ready line.
  explicit frmRipperStatus(CDPage& page, QWidget* owner = nullptr, Mp3EncoderCalls mp3 = SvencodeCalls());
  ~frmRipperStatus() override;

  // Set by the stop button and by Cancel in the overwrite question (-1), cleared by No to the
  // stop question.
  std::int16_t CancelRequested = 0;

  grab::GrabJob& Grab() { return *job_; }

  void RowFinished(int row, const jobs::JobRow& job, const jobs::RowResult& result) override;
  void JobFinished(int failedRows) override;

 protected:
  // "&Rip Now": the output folder (with its parents) and the log, then every track.
  void StartClicked() override;

 private:
  std::unique_ptr<grab::SvripperDisc> disc_;
  std::unique_ptr<grab::GrabJob> job_;
};

// The page's Start, once its checks passed: the window, modal, owned by the main window.
void ShowRipperStatus(CDPage& page);

}  // namespace sv
