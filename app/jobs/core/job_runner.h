// The row runner every batch job of the program is built on.
//
// How to build a job on it (the conversion jobs in app/convert are the examples):
//  - Rows: implement JobRows (row count, the row's type/source/destination, whether existing
//    destinations are replaced without asking). A job list on a page is read through
//    GridRows (jobs/widgets); a command-line tool lists its own files.
//  - Steps: one RowStep per conversion type, registered in a StepTable under its type text
//    ("MP3->WAV"). A step turns one row into its destination and gives back a RowResult.
//    A step with a loop of its own calls StepContext::Progress once per unit of work (it
//    draws the bars, lets the user interface run and asks the stop question); a step that
//    hands the whole file to an outside library says Cancelling() == Library and passes
//    StepContext::CancelFlag() to the library, whose progress callback calls
//    ReportLibraryProgress. A new format is a new step: the runner does not change.
//  - Questions: JobQuestions answers "overwrite?" and "really stop?" and shows failures that
//    must be read at once. The windows answer with message boxes (MsgBoxQuestions), tests
//    by script, a terminal from its flags.
//  - Display: JobSink receives everything a window shows (the row in work, both bars, the
//    status line, each row's result, start and finish) and decides when the event loop
//    runs (Yield). JobStatusWindow (jobs/widgets) is the sink of every job window.
//  - Texts: JobTexts holds what differs between jobs (ready line, finish line, stop question).
//
// What the runner does for every job: rows in order; the overwrite question (Cancel stops the
// job); never touches a source that is its own destination; clears the status line as each
// row starts; shows each row's result; removes what a failed row wrote (a stopped row keeps
// its partial file); the total bar by the share arithmetic; the stop flag and the Cancel
// button's three behaviours; the finish line with the count of rows not converted.
//
// QtCore only: no widgets are linked, so the same jobs run under a window, a test and a
// terminal.
#pragma once

#include "jobs/core/cancel_flag.h"
#include "jobs/core/job_types.h"

#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace sv {
class RuntimeError;
}

namespace sv::jobs {

// The rows of a job and its one option, read while the job runs.
class JobRows {
 public:
  virtual ~JobRows() = default;
  // Read again at every use.
  virtual int RowCount() const = 0;
  // Row `row`, from 1.
  virtual JobRow Row(int row) const = 0;
  // True: an existing destination is replaced without asking.
  virtual bool ReplaceExisting() const = 0;
};

// Who answers the job's questions and reads its urgent failures.
class JobQuestions {
 public:
  enum class Overwrite { Yes, No, Cancel };

  virtual ~JobQuestions() = default;
  // destination + " existed, do you want to overwrite it?"
  virtual Overwrite AskOverwrite(const QString& destination) = 0;
  // The job's stop question; true to stop.
  virtual bool AskStop(const QString& question) = 0;
  // A failure to be read now.
  virtual void Tell(const QString& text) = 0;
  // A run-time error as "Error#" + number + "," + description.
  virtual void TellError(const RuntimeError& error) = 0;
};

// Where a job shows what it does.
class JobSink {
 public:
  virtual ~JobSink() = default;
  // The top line (the conversion type, or the ready line before the start), source, destination.
  virtual void ShowRow(const QString& type, const QString& source, const QString& destination) = 0;
  virtual void SetStatus(const QString& text, Rgb colour) = 0;
  virtual void DrawFileBar(float percent, Rgb colour) = 0;
  virtual void DrawTotalBar(float percent, Rgb colour) = 0;
  // Row `row` (from 1) is done with; called for every row the job reached.
  virtual void RowFinished(int row, const JobRow& job, const RowResult& result) = 0;
  // The job began working through its rows / went through all of them.
  virtual void JobStarted() = 0;
  virtual void JobFinished(int failedRows) = 0;
  // Called between units of work. With `now` the user interface runs at once (a row's first
  // unit, a library's progress callback); otherwise the sink may let calls pass to keep the
  // work fast.
  virtual void Yield(bool now) = 0;
  // The job was stopped by the user, or Cancel was pressed while idle: the display goes.
  virtual void Close() = 0;
};

// What a step may use while it runs.
class StepContext {
 public:
  virtual ~StepContext() = default;
  // The row's own loop at `percent` of its file: draws the file and total bars when their
  // whole values change, lets the user interface run and, when the stop button was pressed,
  // asks the stop question. False when the user chose to stop.
  virtual bool Progress(int percent) = 0;
  // The body of an outside library's progress callback: both bars at every call, then the
  // user interface runs. The stop flag is the library's to read.
  virtual void LibraryProgress(int percent) = 0;
  virtual JobQuestions& Questions() = 0;
  // The stop flag whose address outside libraries receive.
  virtual std::int16_t* CancelFlag() = 0;
  virtual bool StopRequested() const = 0;
  // True the first time a notice of this key is given in this job (one box per job, not per row).
  virtual bool FirstNotice(const QString& key) = 0;
  // The row in work (from 1) and the row count.
  virtual int Row() const = 0;
  virtual int Rows() const = 0;
};

// The work for one conversion type.
class RowStep {
 public:
  // How the stop button acts while this step runs: InLoop only raises the flag and the
  // step's own loop asks at its next Progress; Library asks at once and the outside library
  // reads the flag.
  enum class Cancelling { InLoop, Library };

  virtual ~RowStep() = default;
  virtual Cancelling CancelStyle() const { return Cancelling::InLoop; }
  // Turns the row's source into its destination (which does not exist when the step starts).
  virtual RowResult Run(const JobRow& row, StepContext& context) = 0;
};

// Conversion type -> step.
class StepTable {
 public:
  void Add(const QString& type, std::unique_ptr<RowStep> step);
  RowStep* Find(const QString& type) const;
  bool empty() const { return steps_.empty(); }

 private:
  std::map<QString, std::unique_ptr<RowStep>> steps_;
};

struct JobOptions {
  JobTexts texts;
  // The stop flag and the value that means "stop" (a CD job may keep a flag of its own).
  std::int16_t* cancelFlag = &CancelConvert;
  std::int16_t cancelValue = 1;
};

class JobRunner : private StepContext {
 public:
  JobRunner(JobRows& rows, const StepTable& steps, JobSink& sink, JobQuestions& questions,
            JobOptions options = {});
  ~JobRunner() override;
  JobRunner(const JobRunner&) = delete;
  JobRunner& operator=(const JobRunner&) = delete;

  // The window's load: stop flag cleared, both bars at 0, status line empty, the ready line.
  void Load();
  // The start button: makes the output folder (with its parents) and runs every row.
  void Start(const QString& outputFolder);
  // Every row, in order (ConvertAllFiles).
  void Run();
  // The stop button: closes when idle; while a row is in work asks or raises the flag as
  // the step's CancelStyle says.
  void Cancel();

  // One row as the loop runs it (same-file check, its step, removal of a failed row's output),
  // without the overwrite question: for a tool converting one file, and for tests.
  RowResult RunRow(const JobRow& job);

  bool Converting() const { return converting_; }
  const QString& CurrentType() const { return currentType_; }
  // Each reached row's result, by row (index 0 is row 1).
  const std::vector<RowResult>& Results() const { return results_; }
  int FailedRows() const { return failed_; }
  const JobTexts& Texts() const { return options_.texts; }

  // The job whose window is loaded, for the libraries' progress callbacks; null when none.
  static JobRunner* Active();
  // The library progress body on this job.
  void ReportLibraryProgress(int percent) { LibraryProgress(percent); }

  // The row in work, from 1; read by the progress callbacks.
  std::int16_t currentfile = 0;
  Rgb filecolor = kBarColor;
  Rgb totalcolor = kBarColor;

 private:
  // StepContext
  bool Progress(int percent) override;
  void LibraryProgress(int percent) override;
  JobQuestions& Questions() override { return questions_; }
  std::int16_t* CancelFlag() override { return options_.cancelFlag; }
  bool StopRequested() const override { return *options_.cancelFlag != 0; }
  bool FirstNotice(const QString& key) override;
  int Row() const override { return currentfile; }
  int Rows() const override;

  RowResult runRow(int row, const JobRow& job);
  void stopFlag(bool stop) { *options_.cancelFlag = stop ? options_.cancelValue : std::int16_t{0}; }

  JobRows& rows_;
  const StepTable& steps_;
  JobSink& sink_;
  JobQuestions& questions_;
  JobOptions options_;
  bool converting_ = false;
  QString currentType_;
  RowStep* currentStep_ = nullptr;
  std::vector<RowResult> results_;
  int failed_ = 0;
  std::set<QString> notices_;
  // The row's share of the total bar and the values last drawn.
  int share_ = 0;
  int base_ = 0;
  int lastFile_ = -1;
  int lastTotal_ = -1;
};

// The progress body for the outside libraries' callbacks: draws the active job's bars and
// lets the user interface run; nothing without an active job. Never throws.
void ReportLibraryProgress(int percent);

}  // namespace sv::jobs
