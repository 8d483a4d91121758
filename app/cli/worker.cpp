#include "cli/worker.h"

#include "convert/core/conversion_steps.h"
#include "jobs/core/cancel_flag.h"
#include "jobs/core/job_runner.h"
#include "jobs/core/paths.h"
#include "platform/runtime_error.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace sv::cli {
namespace {

void onInterrupt(int) { CancelConvert = 1; }

// One line to the main process; a main process that is gone ends the worker.
void send(const QString& line) {
  QByteArray bytes = line.toUtf8();
  bytes.replace('\n', ' ');
  bytes += '\n';
  const char* p = bytes.constData();
  for (qsizetype left = bytes.size(); left > 0;) {
    const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) _exit(3);
    p += n;
    left -= n;
  }
}

class OneRow : public jobs::JobRows {
 public:
  int RowCount() const override { return 1; }
  jobs::JobRow Row(int) const override { return row; }
  bool ReplaceExisting() const override { return true; }
  jobs::JobRow row;
};

// What the job shows, as lines for the main process.
class PipeSink : public jobs::JobSink {
 public:
  void ShowRow(const QString&, const QString&, const QString&) override {}
  void SetStatus(const QString&, jobs::Rgb) override {}
  void DrawFileBar(float percent, jobs::Rgb) override {
    const int whole = static_cast<int>(percent);
    if (whole == last_) return;
    last_ = whole;
    send(QStringLiteral("P %1").arg(whole));
  }
  void DrawTotalBar(float, jobs::Rgb) override {}
  void RowFinished(int, const jobs::JobRow&, const jobs::RowResult&) override {}
  void JobStarted() override {}
  void JobFinished(int) override {}
  void Yield(bool) override {}
  void Close() override {}
  void NewRow() { last_ = -1; }

 private:
  int last_ = -1;
};

// No one to ask: Ctrl-C means stop, and an existing destination was settled before.
class Answers : public jobs::JobQuestions {
 public:
  Overwrite AskOverwrite(const QString&) override { return Overwrite::Yes; }
  bool AskStop(const QString&) override { return true; }
  void Tell(const QString& text) override { send(QStringLiteral("N ") + text); }
  // The row's reason carries the same text.
  void TellError(const RuntimeError&) override {}
};

// One NUL-ended field of stdin; false at its end.
bool readField(std::string& out) {
  out.clear();
  for (;;) {
    const int c = std::getchar();
    if (c == EOF) return false;
    if (c == 0) return true;
    out.push_back(static_cast<char>(c));
  }
}

}  // namespace

std::vector<QString> WorkerArguments(const WaveToAllOptions& o) {
  std::vector<QString> out;
  for (const int v :
       {o.Mp3SampleRate, o.Mp3Bitrate, o.Mp3Channel, o.Mp3Quality, o.WmaBitrate, o.VqfBitrate, o.OggBitrate})
    out.push_back(QString::number(v));
  return out;
}

int RunWorker(int argc, char** argv) {
  WaveToAllOptions options;
  int* fields[] = {&options.Mp3SampleRate, &options.Mp3Bitrate, &options.Mp3Channel, &options.Mp3Quality,
                   &options.WmaBitrate,    &options.VqfBitrate, &options.OggBitrate};
  for (int i = 0; i < 7 && i + 2 < argc; ++i) *fields[i] = std::atoi(argv[i + 2]);

  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  jobs::StepTable steps;
  AddMusicToWaveSteps(steps);
  AddWaveToCompressedSteps(steps, [options] { return options; });
  OneRow rows;
  PipeSink sink;
  Answers answers;
  jobs::JobRunner runner(rows, steps, sink, answers);

  std::string type, source, destination;
  while (CancelConvert == 0 && readField(type) && readField(source) && readField(destination)) {
    rows.row = {QString::fromUtf8(type), QString::fromUtf8(source), QString::fromUtf8(destination), 0};
    sink.NewRow();
    const jobs::RowResult result = runner.RunRow(rows.row);
    switch (result.outcome) {
      case jobs::RowOutcome::Done:
      case jobs::RowOutcome::Skipped:
        send(QStringLiteral("R D"));
        break;
      case jobs::RowOutcome::Failed:
        send(QStringLiteral("R F ") + result.reason);
        break;
      case jobs::RowOutcome::Stopped:
        // A cut-off file among finished ones would pass for a whole one (and a later run
        // without -y would keep it): it goes.
        jobs::RemoveFile(rows.row.destination);
        send(QStringLiteral("R S"));
        break;
    }
  }
  return 0;
}

}  // namespace sv::cli
