#include "jobs/core/job_runner.h"

#include "jobs/core/paths.h"
#include "jobs/core/shares.h"
#include "platform/fault_guard.h"
#include "platform/runtime_error.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace sv::jobs {
namespace {

JobRunner* activeRunner = nullptr;

// The job goes on past a statement that fails (a cell outside the list, a drawing error).
template <typename Fn>
void Pass(Fn&& fn) {
  try {
    fn();
  } catch (const std::exception&) {
  }
}

QString ReasonOf(const std::exception& error) {
  if (const auto* runtime = dynamic_cast<const RuntimeError*>(&error)) return runtime->description();
  return QString::fromLocal8Bit(error.what());
}

}  // namespace

void StepTable::Add(const QString& type, std::unique_ptr<RowStep> step) { steps_[type] = std::move(step); }

RowStep* StepTable::Find(const QString& type) const {
  const auto it = steps_.find(type);
  return it == steps_.end() ? nullptr : it->second.get();
}

JobRunner::JobRunner(JobRows& rows, const StepTable& steps, JobSink& sink, JobQuestions& questions,
                     JobOptions options)
    : rows_(rows), steps_(steps), sink_(sink), questions_(questions), options_(std::move(options)) {
  activeRunner = this;
}

JobRunner::~JobRunner() {
  if (activeRunner == this) activeRunner = nullptr;
}

JobRunner* JobRunner::Active() { return activeRunner; }

void JobRunner::Load() {
  stopFlag(false);
  totalcolor = filecolor = kBarColor;
  Pass([&] { sink_.SetStatus(QString(), kStatusPlain); });
  Pass([&] { sink_.DrawFileBar(0, filecolor); });
  Pass([&] { sink_.DrawTotalBar(0, totalcolor); });
  Pass([&] { sink_.ShowRow(options_.texts.ready.arg(rows_.RowCount()), QString(), QString()); });
}

void JobRunner::Start(const QString& outputFolder) {
  // With its parents: a missing parent must not make every row fail. An existing folder is fine.
  if (!outputFolder.isEmpty()) QDir().mkpath(outputFolder);
  Run();
}

int JobRunner::Rows() const { return rows_.RowCount(); }

void JobRunner::Run() {
  converting_ = true;
  results_.clear();
  notices_.clear();
  failed_ = 0;
  Pass([&] { sink_.SetStatus(QString(), kStatusPlain); });
  Pass([&] { sink_.JobStarted(); });

  int n = 0;
  Pass([&] { n = rows_.RowCount(); });
  for (int i = 1; i <= n; ++i) {
    currentfile = static_cast<std::int16_t>(i);
    // One row's failure text never stands under the next row's name.
    Pass([&] { sink_.SetStatus(QString(), kStatusPlain); });
    Pass([&] { sink_.DrawFileBar(0, filecolor); });
    JobRow job;
    Pass([&] { job = rows_.Row(i); });
    Pass([&] { sink_.ShowRow(job.type, job.source, job.destination); });

    auto answer = JobQuestions::Overwrite::Yes;
    if (!job.destination.isEmpty() && QFileInfo::exists(job.destination) && !rows_.ReplaceExisting()) {
      answer = questions_.AskOverwrite(job.destination);
      if (answer == JobQuestions::Overwrite::Cancel) {
        stopFlag(true);
        break;
      }
    }
    const RowResult result = answer == JobQuestions::Overwrite::No
                                 ? RowResult::Skipped(QStringLiteral("the existing file was kept"))
                                 : runRow(i, job);
    results_.push_back(result);
    if (result.failed()) ++failed_;
    if (result.outcome == RowOutcome::Failed) Pass([&] { sink_.SetStatus(result.reason, kStatusPlain); });
    Pass([&] { sink_.RowFinished(i, job, result); });
    if (StopRequested()) break;

    Pass([&] { sink_.DrawFileBar(100, filecolor); });
    Pass([&] { sink_.DrawTotalBar(RowsDonePercent(i, rows_.RowCount()), totalcolor); });
  }
  converting_ = false;

  if (StopRequested()) {
    Pass([&] { sink_.Close(); });
    return;
  }
  Pass([&] {
    sink_.SetStatus(FinishLine(options_.texts, failed_), failed_ > 0 ? kStatusFailed : kStatusDone);
  });
  Pass([&] { sink_.JobFinished(failed_); });
}

RowResult JobRunner::runRow(int row, const JobRow& job) {
  // Deleting or writing the destination would destroy the source.
  if (SameFile(job.source, job.destination))
    return RowResult::Failed(QStringLiteral("destination is the source file"));
  RowStep* step = steps_.Find(job.type);
  // Nothing would be written: the existing file stays.
  if (!step) return RowResult::Failed(QStringLiteral("no converter for ") + job.type);

  RemoveFile(job.destination);
  currentType_ = job.type;
  currentStep_ = step;
  share_ = FileShare(rows_.RowCount());
  base_ = FileBase(rows_.RowCount(), row);
  lastFile_ = lastTotal_ = -1;
  RowResult result;
  try {
    result = step->Run(job, *this);
  } catch (const std::exception& error) {
    result = RowResult::Failed(ReasonOf(error));
  }
  if (result.outcome == RowOutcome::Failed && result.reason.isEmpty())
    result.reason = QStringLiteral("not converted");
  // A row that failed leaves nothing behind: no header-only WAV, no empty or cut-off file.
  if (result.failed() && !result.keepOutput) RemoveFile(job.destination);
  return result;
}

RowResult JobRunner::RunRow(const JobRow& job) {
  if (currentfile < 1) currentfile = 1;
  return runRow(currentfile, job);
}

bool JobRunner::Progress(int percent) {
  int total = lastTotal_;
  Pass([&] { total = TotalPercent(percent, share_, base_); });
  const bool first = lastFile_ < 0;
  if (percent != lastFile_) {
    Pass([&] { sink_.DrawFileBar(static_cast<float>(percent), filecolor); });
    lastFile_ = percent;
  }
  if (total != lastTotal_) {
    Pass([&] { sink_.DrawTotalBar(static_cast<float>(total), filecolor); });
    lastTotal_ = total;
  }
  // The bars repaint themselves; the window runs at the row's first unit (a click made before
  // is seen at once) and then as the sink's policy says.
  Pass([&] { sink_.Yield(first); });
  if (!StopRequested()) return true;
  if (questions_.AskStop(options_.texts.stopQuestion)) return false;
  stopFlag(false);
  return true;
}

void JobRunner::LibraryProgress(int percent) {
  Pass([&] { sink_.DrawFileBar(static_cast<float>(percent), filecolor); });
  Pass([&] {
    const int total = TotalPercentOfRows(percent, rows_.RowCount(), currentfile);
    sink_.DrawTotalBar(static_cast<float>(total), filecolor);
  });
  Pass([&] { sink_.Yield(true); });
}

bool JobRunner::FirstNotice(const QString& key) { return notices_.insert(key).second; }

void JobRunner::Cancel() {
  if (!converting_) {
    Pass([&] { sink_.Close(); });
    return;
  }
  if (!currentStep_) return;
  if (currentStep_->CancelStyle() == RowStep::Cancelling::Library)
    stopFlag(questions_.AskStop(options_.texts.stopQuestion));
  else
    stopFlag(true);  // the step's loop asks at its next unit of work
}

void ReportLibraryProgress(int percent) {
  // Our own code, called back from inside a library: a fault here is not the library's.
  const SuspendFaultGuard ownCode;
  try {
    if (JobRunner* job = JobRunner::Active()) job->ReportLibraryProgress(percent);
  } catch (...) {
    // Runs inside a library's call: nothing may escape into it.
  }
}

}  // namespace sv::jobs
