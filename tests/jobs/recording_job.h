// A job without a window: rows from a list, questions answered by script, a display that
// records what it was told. As a command-line tool would run the jobs.
#pragma once

#include "jobs/core/job_runner.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace jobtest {

using sv::jobs::JobRow;
using sv::jobs::RowResult;

class ListRows : public sv::jobs::JobRows {
 public:
  std::vector<JobRow> rows;
  bool replace = true;

  int RowCount() const override { return static_cast<int>(rows.size()); }
  JobRow Row(int row) const override { return rows.at(static_cast<std::size_t>(row - 1)); }
  bool ReplaceExisting() const override { return replace; }
};

class ScriptedQuestions : public sv::jobs::JobQuestions {
 public:
  std::deque<Overwrite> overwriteAnswers;
  std::deque<bool> stopAnswers;
  QStringList asked;  // every question, in order
  QStringList told;   // every failure shown, in order

  Overwrite AskOverwrite(const QString& destination) override;
  bool AskStop(const QString& question) override;
  void Tell(const QString& text) override;
  void TellError(const sv::RuntimeError& error) override;
};

class RecordingSink : public sv::jobs::JobSink {
 public:
  QStringList log;  // rows, statuses, results, start, finish, close
  std::vector<int> file, total;
  QString status;
  QString top;
  int yields = 0, forcedYields = 0;
  bool closed = false;
  int finishedWith = -1;
  std::vector<RowResult> results;
  // Called at every yield (a click on the stop button arrives here).
  std::function<void()> onYield;

  void ShowRow(const QString& type, const QString& source, const QString& destination) override;
  void SetStatus(const QString& text, sv::jobs::Rgb colour) override;
  void DrawFileBar(float percent, sv::jobs::Rgb) override { file.push_back(static_cast<int>(percent)); }
  void DrawTotalBar(float percent, sv::jobs::Rgb) override { total.push_back(static_cast<int>(percent)); }
  void RowFinished(int row, const JobRow& job, const RowResult& result) override;
  void JobStarted() override { log << QStringLiteral("started"); }
  void JobFinished(int failedRows) override;
  void Yield(bool now) override;
  void Close() override;

  sv::jobs::Rgb statusColour{};
};

// A step that reports `units` steps of progress, then writes `content` to the destination
// (when not empty) and gives `result`.
class ScriptedStep : public sv::jobs::RowStep {
 public:
  int units = 4;
  QByteArray content = "converted";
  RowResult result = RowResult::Done();
  Cancelling style = Cancelling::InLoop;
  std::vector<JobRow> seen;

  Cancelling CancelStyle() const override { return style; }
  RowResult Run(const JobRow& row, sv::jobs::StepContext& context) override;
};

QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& bytes);

}  // namespace jobtest
