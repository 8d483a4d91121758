#include "frmRipperStatus.h"

#include <QCheckBox>
#include <QComboBox>

#include "CDPage.h"
#include "modAKRip32.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"
#include "shell/core/registry.h"

namespace sv {
namespace {

// "Total Process:" and "Destination File:" are the framework's own captions.
const jobs::JobWindowCaptions kCaptions{.title = QStringLiteral("CD Ripper Status..."),
                                        .start = QStringLiteral("&Rip Now"),
                                        .fileBar = QStringLiteral("Track rip:"),
                                        .source = QStringLiteral("Source Track:")};

grab::GrabSettings SettingsOf(const CDPage& page) {
  grab::GrabSettings s;
  s.kind = page.cmdRipperOutputSelectOption[0]->IsPressed() ? grab::OutputKind::Mp3 : grab::OutputKind::Wav;
  s.mp3.Mp3SampleRate = page.Comborippersamplerate->currentIndex();
  s.mp3.Mp3Bitrate = page.Comboripperbitrate->currentIndex();
  s.mp3.Mp3Channel = page.Comboripperchannel->currentIndex();
  s.mp3.Mp3Quality = page.Comboripperquality->currentIndex();
  s.outputFolder = RipperOutputDir;
  s.overwrite = page.Checkripperoverwrite->isChecked();
  s.tracks = page.CheckedTracks();
  return s;
}

}  // namespace

frmRipperStatus::frmRipperStatus(CDPage& page, QWidget* owner, Mp3EncoderCalls mp3)
    : jobs::RowJobWindow(owner, kCaptions) {
  setObjectName(QStringLiteral("frmRipperStatus"));
  grab::GrabSettings settings = SettingsOf(page);
  CloseCDDrive();
  SVR_TOC toc{};
  if (OpenCDDrive(page.SelectedDrivePath()) != 0) {
    toc = DiscToc;
  } else {
    MsgBox(QStringLiteral("init Cd Rom Error"), vbCritical);
    settings.tracks.clear();
  }
  disc_ = std::make_unique<grab::SvripperDisc>(static_cast<SVR_HCDROM>(CDHandle));
  grab::GrabInfo info;
  info.program = QStringLiteral("Sonvera Disc Suite ") + ProgramVersionText();
  info.drive = page.ComboCDRom->currentText();
  info.drivePath = page.SelectedDrivePath();
  job_ = std::make_unique<grab::GrabJob>(std::move(settings), toc, *disc_, std::move(info), std::move(mp3));
  Attach(
      job_->Rows(), nullptr, job_->Steps(), [this] { return job_->Settings().outputFolder; },
      job_->Options(&CancelRequested));
}

frmRipperStatus::~frmRipperStatus() = default;

void frmRipperStatus::StartClicked() {
  const QString error = job_->Prepare();
  if (!error.isEmpty()) {
    SetStatus(error, jobs::kStatusFailed);
    MsgBox(error, vbCritical);
    return;
  }
  RowJobWindow::StartClicked();
}

void frmRipperStatus::RowFinished(int row, const jobs::JobRow& job, const jobs::RowResult& result) {
  RowJobWindow::RowFinished(row, job, result);
  job_->RowFinished(job, result);
}

void frmRipperStatus::JobFinished(int failedRows) {
  job_->Finished();
  RowJobWindow::JobFinished(failedRows);
}

void ShowRipperStatus(CDPage& page) {
  frmRipperStatus window(page, page.window());
  window.exec();
}

}  // namespace sv
