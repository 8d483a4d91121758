// The music-to-WAV status window: shows the job's bars and texts and holds its two buttons.
#pragma once

#include "AllToWaveJob.h"
#include "CommandButton.h"
#include "shell/core/error_handling.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QLabel;
namespace grid {
class JobGrid;
}

namespace sv {

class PictureBox;

class frmAllToWaveStatus : public QDialog, private AllToWaveView {
  Q_OBJECT

 public:
  // The job list and the overwrite box stay the page's; both must outlive the window.
  frmAllToWaveStatus(QWidget* owner, grid::JobGrid* gridAlltoWave, QCheckBox* checkAllToWaveOverwrite);
  ~frmAllToWaveStatus() override;

  AllToWaveJob& Job() { return *job_; }

  QLabel* labelConvertype = nullptr;
  QLabel* labelsource = nullptr;
  QLabel* labeloutput = nullptr;
  QLabel* labelStatus = nullptr;
  PictureBox* picFileStatus = nullptr;
  PictureBox* picTotalProcess = nullptr;
  CommandButton* cmdStart = nullptr;
  CommandButton* cmdCancel = nullptr;

  void cmdStart_Click();
  void cmdCancel_Click();

 protected:
  // Escape and the window's close box act as the cancel button.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // AllToWaveView
  int RowCount() const override;
  QString Cell(int row, int column) const override;
  bool OverwriteTicked() const override;
  PictureBox* FileBar() override { return picFileStatus; }
  PictureBox* TotalBar() override { return picTotalProcess; }
  void ShowConvertType(const QString& text) override;
  void ShowSource(const QString& text) override;
  void ShowOutput(const QString& text) override;
  void SetStatus(const QString& text) override;
  void SetStatusColor(QRgb color) override;
  void SetCancelCaption(const QString& caption) override;
  void Unload() override;

  grid::JobGrid* grid_;
  QCheckBox* overwrite_;
  JobExceptionFilter filter_;
  std::unique_ptr<AllToWaveJob> job_;
  bool unloading_ = false;
};

}  // namespace sv
