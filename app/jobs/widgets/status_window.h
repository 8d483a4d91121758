// The status window every job runs in.
//
// JobStatusWindow is what all job windows share: the two bars (picTotalProcess,
// picFileStatus), the row lines (labelConvertype, labelsource, labeloutput), the status line,
// the start and stop buttons (cmdStart, cmdCancel with the captions "&Cancel", "C&ancel"
// while working and "&OK" when done), the close box and Escape acting as the stop button,
// the fault filter armed while the window exists, the resource font, and when the event
// loop runs during the work. It is the JobSink of the job it shows. A window whose work is
// not a list of rows (the burn job) derives from it and supplies StartClicked and
// CancelClicked.
//
// RowJobWindow adds the row runner: a job window over a list of rows derives from it,
// builds its rows and step table and calls Attach. The conversion windows are examples.
#pragma once

#include "command_button.h"
#include "jobs/core/job_runner.h"
#include "jobs/widgets/msgbox_questions.h"
#include "jobs/widgets/yield_policy.h"
#include "platform/fault_guard.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class QLabel;
class QListWidget;
class QVBoxLayout;

namespace sv {
class PictureBox;
}

namespace sv::jobs {

class PathLabel;
class RowMarks;

// The fixed texts of a job window.
struct JobWindowCaptions {
  QString title;
  QString start = QStringLiteral("&Convert Now");
  QString totalBar = QStringLiteral("Total Process:");
  QString fileBar = QStringLiteral("File Converting:");
  QString source = QStringLiteral("Source File:");
  QString destination = QStringLiteral("Destination File:");
  // A job that is not a list of files (the burn job) shows no type, source and destination
  // lines.
  bool rowLines = true;
  // Each bar's caption on a line of its own above the bar, for captions that change and grow.
  bool captionsAbove = false;
};

class JobStatusWindow : public QDialog, public JobSink {
  Q_OBJECT

 public:
  ~JobStatusWindow() override;

  // The bars' captions.
  QLabel* labelTotalCaption = nullptr;
  QLabel* labelFileCaption = nullptr;
  QLabel* labelConvertype = nullptr;
  PathLabel* labelsource = nullptr;
  PathLabel* labeloutput = nullptr;
  QLabel* labelStatus = nullptr;
  PictureBox* picFileStatus = nullptr;
  PictureBox* picTotalProcess = nullptr;
  CommandButton* cmdStart = nullptr;
  CommandButton* cmdCancel = nullptr;
  // The rows that were not converted and why; shown when the job ends with any.
  QListWidget* listFailures = nullptr;

  void cmdStart_Click();
  void cmdCancel_Click();

  // The values the two bars show now.
  float FilePercent() const;
  float TotalPercent() const;

  // JobSink
  void ShowRow(const QString& type, const QString& source, const QString& destination) override;
  void SetStatus(const QString& text, Rgb colour) override;
  void DrawFileBar(float percent, Rgb colour) override;
  void DrawTotalBar(float percent, Rgb colour) override;
  void RowFinished(int row, const JobRow& job, const RowResult& result) override;
  void JobStarted() override;
  void JobFinished(int failedRows) override;
  void Yield(bool now) override;
  void Close() override;

 protected:
  JobStatusWindow(QWidget* owner, const JobWindowCaptions& captions);

  // Puts a panel of the window's own (settings) above the bars.
  void AddPanel(QWidget* panel);

  // The work behind the two buttons.
  virtual void StartClicked() = 0;
  virtual void CancelClicked() = 0;

  // Escape and the window's close box act as the stop button; the job closes the window
  // once it has stopped.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QVBoxLayout* panels_ = nullptr;
  FaultTranslation filter_;
  YieldPolicy yield_;
  bool unloading_ = false;
};

class RowJobWindow : public JobStatusWindow {
  Q_OBJECT

 public:
  ~RowJobWindow() override;

  JobRunner& Job() { return *runner_; }

  void RowFinished(int row, const JobRow& job, const RowResult& result) override;
  void JobStarted() override;

 protected:
  RowJobWindow(QWidget* owner, const JobWindowCaptions& captions);

  // Called by the derived window's constructor once its rows and steps exist (both must
  // outlive the window): creates the job and loads it. `outputFolder` is made at the start;
  // `marks`, when given, shows each row's result in the job list.
  void Attach(JobRows& rows, RowMarks* marks, const StepTable& steps, std::function<QString()> outputFolder,
              JobOptions options = {});

  void StartClicked() override;
  void CancelClicked() override;

 private:
  MsgBoxQuestions questions_;
  RowMarks* marks_ = nullptr;
  std::function<QString()> outputFolder_;
  std::unique_ptr<JobRunner> runner_;
};

}  // namespace sv::jobs
