// frmWaveToAllStatus: the modal status window of the WAV-to-compressed job. It shows what
// WaveToAllJob tells it; the work is the job's.
#pragma once

#include "shell/core/error_handling.h"
#include "wave_to_all_job.h"

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace grid {
class JobGrid;
}

namespace sv {

class PictureBox;

class frmWaveToAllStatus : public QDialog, private WaveToAllView {
  Q_OBJECT

 public:
  // `list` is the page's job list; `options` and `overwrite` read the page's option lists
  // and its overwrite box when the job needs them.
  frmWaveToAllStatus(grid::JobGrid& list, std::function<WaveToAllOptions()> options,
                     std::function<bool()> overwrite, QWidget* owner = nullptr,
                     Mp3EncoderCalls mp3 = SvencodeCalls(),
                     OutsideEncoderCalls outside = OutsideLibraryCalls());
  ~frmWaveToAllStatus() override;

  WaveToAllJob& Job() { return *job_; }
  // The values the two bars show now.
  float FilePercent() const;
  float TotalPercent() const;

  QLabel* labelConvertype = nullptr;
  QLabel* labelsource = nullptr;
  QLabel* labeloutput = nullptr;
  QLabel* labelStatus = nullptr;
  PictureBox* picFileStatus = nullptr;
  PictureBox* picTotalProcess = nullptr;
  QPushButton* cmdStart = nullptr;
  QPushButton* cmdCancel = nullptr;

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void cmdStart_Click();
  void cmdCancel_Click();

  // WaveToAllView
  int RowCount() override;
  QString Cell(int row, int column) override;
  bool OverwriteTicked() override;
  WaveToAllOptions Options() override;
  void ShowRow(const QString& type, const QString& source, const QString& destination) override;
  void SetStatus(const QString& text, uint32_t color) override;
  void DrawFileBar(float percent, uint32_t color) override;
  void DrawTotalBar(float percent, uint32_t color) override;
  void SetCancelCaption(const QString& caption) override;
  void CloseWindow() override;
  void Yield() override;

  grid::JobGrid& list_;
  std::function<WaveToAllOptions()> options_;
  std::function<bool()> overwrite_;
  JobExceptionFilter filter_;  // installed while the window is loaded
  std::unique_ptr<WaveToAllJob> job_;
};

}  // namespace sv
