// The burn window "Burn Audio CD": the writer, the speed, test mode and buffer-underrun
// protection, the two bars and the status line of a write. The work is BurnJob's; the window
// shows what it says.
#pragma once

#include "burn_job.h"
#include "jobs/widgets/status_window.h"

#include <QStringList>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;

namespace sv {

class frmCDBurner : public jobs::JobStatusWindow, private burn::BurnSink {
  Q_OBJECT

 public:
  // `files` gives the burn list's source paths in track order when Burn Now is pressed.
  // Run-time errors when the CD-writer control cannot be made.
  frmCDBurner(QWidget* owner, std::function<QStringList()> files);
  ~frmCDBurner() override;

  QGroupBox* frameSettings = nullptr;
  QComboBox* ComboCDWrite = nullptr;
  QComboBox* ComboBurnSpeed = nullptr;
  QCheckBox* CheckTestMode = nullptr;
  QCheckBox* CheckBurnProof = nullptr;
  // The total bar's caption, which tells how the burn went.
  QLabel* Labeltotalprocess = nullptr;

  void FillWriters();
  void ComboCDWrite_Click();
  void FillBurnSpeeds();
  void ComboBurnSpeed_Click();
  void EnableBurnControls(bool enabled);

  burn::BurnJob& Job() { return *job_; }

 protected:
  void StartClicked() override;
  void CancelClicked() override;

 private:
  // BurnSink
  void StatusText(const QString& text) override;
  void StatusColour(jobs::Rgb colour) override;
  void TrackBar(int percent) override;
  void TotalBar(int percent) override;
  void TotalCaption(const QString& text) override;
  void EnableControls(bool enabled) override;
  void Message(const QString& text, burn::Icon icon) override;

  std::function<QStringList()> files_;
  std::unique_ptr<burn::BurnJob> job_;
  jobs::Rgb statusColour_{0, 0, 0};
};

}  // namespace sv
