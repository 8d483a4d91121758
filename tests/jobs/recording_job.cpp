#include "recording_job.h"

#include "platform/runtime_error.h"

#include <QFile>

#include <stdexcept>

namespace jobtest {

using Overwrite = sv::jobs::JobQuestions::Overwrite;

Overwrite ScriptedQuestions::AskOverwrite(const QString& destination) {
  asked << destination + QStringLiteral(" existed, do you want to overwrite it?");
  if (overwriteAnswers.empty()) throw std::logic_error("unexpected overwrite question");
  const Overwrite answer = overwriteAnswers.front();
  overwriteAnswers.pop_front();
  return answer;
}

bool ScriptedQuestions::AskStop(const QString& question) {
  asked << question;
  if (stopAnswers.empty()) throw std::logic_error("unexpected stop question");
  const bool answer = stopAnswers.front();
  stopAnswers.pop_front();
  return answer;
}

void ScriptedQuestions::Tell(const QString& text) { told << text; }

void ScriptedQuestions::TellError(const sv::RuntimeError& error) { told << sv::ErrorText(error); }

void RecordingSink::ShowRow(const QString& type, const QString& source, const QString& destination) {
  top = type;
  log << QStringLiteral("row %1 %2 %3").arg(type, source, destination);
}

void RecordingSink::SetStatus(const QString& text, sv::jobs::Rgb colour) {
  status = text;
  statusColour = colour;
  log << QStringLiteral("status ") + text;
}

void RecordingSink::RowFinished(int row, const JobRow&, const RowResult& result) {
  results.push_back(result);
  log << QStringLiteral("result %1 %2 %3").arg(row).arg(static_cast<int>(result.outcome)).arg(result.reason);
}

void RecordingSink::JobFinished(int failedRows) {
  finishedWith = failedRows;
  log << QStringLiteral("finished %1").arg(failedRows);
}

void RecordingSink::Yield(bool now) {
  ++yields;
  if (now) ++forcedYields;
  if (onYield) onYield();
}

void RecordingSink::Close() {
  closed = true;
  log << QStringLiteral("close");
}

RowResult ScriptedStep::Run(const JobRow& row, sv::jobs::StepContext& context) {
  seen.push_back(row);
  if (!content.isEmpty()) WriteAll(row.destination, content.left(content.size() / 2));
  for (int i = 1; i <= units; ++i) {
    if (!context.Progress(i * 100 / units)) return RowResult::Stopped();
  }
  if (!content.isEmpty()) WriteAll(row.destination, content);
  return result;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

}  // namespace jobtest
