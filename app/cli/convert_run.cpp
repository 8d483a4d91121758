#include "cli/convert_run.h"

#include "cli/input_files.h"
#include "cli/progress_view.h"
#include "cli/worker.h"
#include "jobs/core/paths.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <map>
#include <set>
#include <string>

extern char** environ;

namespace sv::cli {
namespace {

int interruptWrite = -1;
int interruptRead = -1;

void onInterrupt(int) {
  if (interruptWrite >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(interruptWrite, &byte, 1);
  }
}

std::string selfPath() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  return std::string(path, static_cast<std::size_t>(n));
}

void writeAll(int fd, const std::string& bytes) {
  const char* p = bytes.data();
  for (std::size_t left = bytes.size(); left > 0;) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the worker is gone; its end of file tells the rest
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

enum class Outcome { Converted, Skipped, Failed, Stopped };

struct Worker {
  pid_t pid = -1;
  int in = -1;   // its standard input
  int out = -1;  // its standard output
  std::string pending;
  int task = -1;  // index into the jobs, -1 when idle
  int percent = 0;
  std::vector<QString> notices;
};

class Run {
 public:
  Run(const CliSettings& settings, InputList inputs, InterruptPipe& interrupts)
      : s_(settings), inputs_(std::move(inputs)), view_(settings.progress), interrupts_(interrupts) {
    for (const FileJob& job : inputs_.jobs) totalBytes_ += std::max<std::int64_t>(job.bytes, 1);
  }

  int Execute() {
    for (const InputProblem& p : inputs_.problems) fail(p.path, p.reason);
    const int count = static_cast<int>(inputs_.jobs.size());
    if (count == 0) {
      if (inputs_.problems.empty()) view_.Line(QStringLiteral("No files to convert."));
      return inputs_.problems.empty() ? kExitOk : kExitFailed;
    }
    exe_ = selfPath();
    const int workerCount = std::min(s_.jobs, count);
    workers_.resize(static_cast<std::size_t>(workerCount));
    const auto start = std::chrono::steady_clock::now();

    for (;;) {
      if (!stopping_) dispatch();
      if (busy() == 0 && (stopping_ || next_ >= count)) break;
      show(false);
      wait();
    }
    for (Worker& w : workers_) retire(w);
    view_.Clear();
    summary(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (stopping_) return kExitInterrupted;
    return failed_.empty() ? kExitOk : kExitFailed;
  }

 private:
  int busy() const {
    return static_cast<int>(
        std::count_if(workers_.begin(), workers_.end(), [](const Worker& w) { return w.task >= 0; }));
  }

  bool spawn(Worker& w) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return false;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
      close(toChild[0]);
      close(toChild[1]);
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::vector<std::string> args{exe_, kWorkerFlag};
    for (const QString& a : WorkerArguments(s_.wave)) args.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&w.pid, exe_.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    if (spawned != 0) {
      close(toChild[1]);
      close(fromChild[0]);
      w.pid = -1;
      return false;
    }
    w.in = toChild[1];
    w.out = fromChild[0];
    w.pending.clear();
    return true;
  }

  // Ends a worker: no more input, then its exit is collected; gives its wait status.
  int retire(Worker& w) {
    if (w.in >= 0) close(w.in);
    if (w.out >= 0) close(w.out);
    w.in = w.out = -1;
    int status = 0;
    if (w.pid > 0) {
      while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
    w.pid = -1;
    return status;
  }

  // Hands the next files to idle workers; existing destinations are settled here.
  void dispatch() {
    const int count = static_cast<int>(inputs_.jobs.size());
    for (Worker& w : workers_) {
      while (w.task < 0 && next_ < count) {
        const int index = next_++;
        const FileJob& job = inputs_.jobs[static_cast<std::size_t>(index)];
        if (!s_.overwrite && QFileInfo::exists(job.destination)) {
          finish(index, Outcome::Skipped, QString());
          continue;
        }
        QDir().mkpath(QFileInfo(job.destination).absolutePath());
        if (w.pid < 0 && !spawn(w)) {
          finish(index, Outcome::Failed, QStringLiteral("can not start a converter process"));
          continue;
        }
        w.task = index;
        w.percent = 0;
        w.notices.clear();
        std::string record = job.type.toStdString();
        record += '\0';
        record += jobs::NativePath(job.source).toStdString();
        record += '\0';
        record += jobs::NativePath(job.destination).toStdString();
        record += '\0';
        writeAll(w.in, record);
      }
    }
  }

  void wait() {
    std::vector<pollfd> fds;
    fds.push_back({interrupts_.fd(), POLLIN, 0});
    for (const Worker& w : workers_)
      if (w.out >= 0) fds.push_back({w.out, POLLIN, 0});
    const int ready = poll(fds.data(), fds.size(), 100);
    if (ready <= 0) return;
    if (fds[0].revents) interrupted();
    for (Worker& w : workers_) {
      const auto it =
          std::find_if(fds.begin() + 1, fds.end(), [&](const pollfd& p) { return p.fd == w.out; });
      if (w.out >= 0 && it != fds.end() && it->revents) read(w);
    }
  }

  void interrupted() {
    const int count = interrupts_.Count();
    stopping_ = true;
    for (Worker& w : workers_) {
      if (w.pid <= 0) continue;
      if (w.task < 0) {
        retire(w);  // idle: end of input ends it
        continue;
      }
      // The first Ctrl-C stops each file cleanly (a terminal sends it to the workers too);
      // a second one ends them at once.
      kill(w.pid, count > 1 ? SIGKILL : SIGINT);
    }
  }

  void read(Worker& w) {
    char buffer[4096];
    const ssize_t n = ::read(w.out, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return;
    if (n <= 0) return lost(w);
    w.pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = w.pending.find('\n')) != std::string::npos;) {
      const QString line = QString::fromUtf8(w.pending.data(), static_cast<qsizetype>(end));
      w.pending.erase(0, end + 1);
      message(w, line);
    }
  }

  void message(Worker& w, const QString& line) {
    if (w.task < 0 || line.size() < 1) return;
    const QString rest = line.mid(2);
    switch (line[0].toLatin1()) {
      case 'P':
        w.percent = std::clamp(rest.toInt(), 0, 100);
        break;
      case 'N':
        w.notices.push_back(rest);
        break;
      case 'R': {
        const int index = w.task;
        w.task = -1;
        const QString reason = rest.mid(2);
        const QChar kind = rest.isEmpty() ? QLatin1Char('F') : rest[0];
        // A notice the job would show in a box, once per run; the row's own reason is its line.
        for (const QString& notice : w.notices)
          if (notice != reason && notices_.insert(notice).second)
            view_.Error(QStringLiteral("sonvera-convert: ") + notice);
        if (kind == QLatin1Char('D'))
          finish(index, Outcome::Converted, QString());
        else if (kind == QLatin1Char('S'))
          finish(index, Outcome::Stopped, QString());
        else
          finish(index, Outcome::Failed, reason);
        if (stopping_) retire(w);
        break;
      }
      default:
        break;
    }
  }

  // The worker ended without a result: its file failed and what it wrote goes.
  void lost(Worker& w) {
    const int index = w.task;
    w.task = -1;
    const int status = retire(w);
    if (index < 0) return;
    const FileJob& job = inputs_.jobs[static_cast<std::size_t>(index)];
    jobs::RemoveFile(job.destination);
    if (stopping_) return finish(index, Outcome::Stopped, QString());
    const QString why = WIFSIGNALED(status) ? QStringLiteral("the converter crashed (%1)")
                                                  .arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))))
                                            : QStringLiteral("the converter ended unexpectedly");
    finish(index, Outcome::Failed, why);
  }

  void finish(int index, Outcome outcome, const QString& reason) {
    const FileJob& job = inputs_.jobs[static_cast<std::size_t>(index)];
    doneBytes_ += std::max<std::int64_t>(job.bytes, 1);
    ++finished_;
    switch (outcome) {
      case Outcome::Converted:
        ++converted_;
        view_.Line(QStringLiteral("converted %1 -> %2").arg(job.source, job.destination));
        break;
      case Outcome::Skipped:
        ++skipped_;
        view_.Line(
            QStringLiteral("skipped   %1: %2 exists (-y replaces it)").arg(job.source, job.destination));
        break;
      case Outcome::Stopped:
        ++stopped_;
        view_.Line(QStringLiteral("stopped   %1 (its partial output was removed)").arg(job.source));
        break;
      case Outcome::Failed:
        fail(job.source, reason);
        break;
    }
    show(true);
  }

  void fail(const QString& path, const QString& reason) {
    failed_.push_back({path, reason});
    view_.Error(QStringLiteral("sonvera-convert: %1: %2").arg(path, reason));
  }

  void show(bool now) {
    std::vector<RunningFile> running;
    double bytes = static_cast<double>(doneBytes_);
    for (const Worker& w : workers_) {
      if (w.task < 0) continue;
      const FileJob& job = inputs_.jobs[static_cast<std::size_t>(w.task)];
      running.push_back({QFileInfo(job.source).fileName(), w.percent});
      bytes += static_cast<double>(std::max<std::int64_t>(job.bytes, 1)) * w.percent / 100.0;
    }
    view_.Show(running, 100.0 * bytes / static_cast<double>(totalBytes_), finished_,
               static_cast<int>(inputs_.jobs.size()), now);
  }

  void summary(double seconds) {
    const int count = static_cast<int>(inputs_.jobs.size() + inputs_.problems.size());
    QString line =
        QStringLiteral("%1 file%2: %3 converted").arg(count).arg(count == 1 ? "" : "s").arg(converted_);
    if (skipped_) line += QStringLiteral(", %1 skipped (already there)").arg(skipped_);
    if (!failed_.empty()) line += QStringLiteral(", %1 failed").arg(failed_.size());
    if (stopping_) {
      const int notStarted = static_cast<int>(inputs_.jobs.size()) - finished_;
      line += QStringLiteral(", %1 stopped, %2 not started").arg(stopped_).arg(notStarted);
    }
    line += QStringLiteral(" in %1").arg(Elapsed(seconds));
    std::fflush(stdout);
    if (stopping_) std::fputs("Stopped by the user.\n", stdout);
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    if (!failed_.empty()) {
      std::fputs("Not converted:\n", stdout);
      for (const InputProblem& p : failed_)
        std::fputs(QStringLiteral("  %1: %2\n").arg(p.path, p.reason).toLocal8Bit().constData(), stdout);
    }
    std::fflush(stdout);
  }

  const CliSettings& s_;
  InputList inputs_;
  ProgressView view_;
  std::string exe_;
  std::vector<Worker> workers_;
  std::set<QString> notices_;
  std::vector<InputProblem> failed_;
  int next_ = 0, finished_ = 0, converted_ = 0, skipped_ = 0, stopped_ = 0;
  InterruptPipe& interrupts_;
  bool stopping_ = false;
  std::int64_t totalBytes_ = 0, doneBytes_ = 0;
};

}  // namespace

InterruptPipe::InterruptPipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    interruptRead = fds[0];
    interruptWrite = fds[1];
  }
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

InterruptPipe::~InterruptPipe() {
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  if (interruptRead >= 0) close(interruptRead);
  if (interruptWrite >= 0) close(interruptWrite);
  interruptRead = interruptWrite = -1;
}

int InterruptPipe::fd() const { return interruptRead; }

int InterruptPipe::Count() {
  char bytes[16];
  ssize_t n;
  while ((n = ::read(interruptRead, bytes, sizeof bytes)) > 0) count_ += static_cast<int>(n);
  return count_;
}

int RunConversions(const CliSettings& settings) {
  InterruptPipe interrupts;
  Run run(settings, CollectInputs(settings), interrupts);
  return run.Execute();
}

}  // namespace sv::cli
