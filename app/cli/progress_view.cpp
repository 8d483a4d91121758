#include "cli/progress_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sv::cli {
namespace {

bool terminal() {
  if (!isatty(STDOUT_FILENO)) return false;
  const char* term = std::getenv("TERM");
  return !term || std::string(term) != "dumb";
}

// The end of a long name, so what tells files apart stays visible.
QString fit(const QString& text, int room) {
  if (room <= 1) return {};
  if (text.size() <= room) return text;
  return QStringLiteral("…") + text.right(room - 1);
}

}  // namespace

QString Elapsed(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  if (s >= 3600)
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString Bar(double percent, int cells) {
  const int full = std::clamp(static_cast<int>(percent / 100.0 * cells), 0, cells);
  return QString(full, QLatin1Char('#')) + QString(cells - full, QLatin1Char('-'));
}

ProgressView::ProgressView(ProgressStyle style) : style_(style) {
  if (style_ == ProgressStyle::Auto) style_ = terminal() ? ProgressStyle::Live : ProgressStyle::Plain;
}

ProgressView::~ProgressView() { Clear(); }

int ProgressView::width() const {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

void ProgressView::Clear() {
  if (drawnLines_ > 0) {
    std::fprintf(stdout, "\x1b[%dA\r\x1b[J", drawnLines_);
    std::fflush(stdout);
  }
  drawnLines_ = 0;
}

void ProgressView::write(std::FILE* stream, const QString& text) {
  Clear();
  std::fflush(stdout);
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
  // The live lines come back at the next Show, with the state after this line.
  lastDraw_ = {};
}

void ProgressView::Line(const QString& text) {
  if (style_ != ProgressStyle::Quiet) write(stdout, text);
}

void ProgressView::Error(const QString& text) { write(stderr, text); }

void ProgressView::Show(const std::vector<RunningFile>& running, double totalPercent, int finished, int count,
                        bool now) {
  running_ = running;
  total_ = totalPercent;
  finished_ = finished;
  count_ = count;
  if (!Live()) return;
  const auto t = std::chrono::steady_clock::now();
  if (!now && t - lastDraw_ < std::chrono::milliseconds(100)) return;
  Clear();
  draw();
}

void ProgressView::draw() {
  lastDraw_ = std::chrono::steady_clock::now();
  const int columns = width() - 1;
  QString out;
  for (const RunningFile& file : running_)
    out += QStringLiteral("%1% %2\n").arg(file.percent, 4).arg(fit(file.name, columns - 6));
  const double seconds = std::chrono::duration<double>(lastDraw_ - start_).count();
  const QString tail = QStringLiteral(" %1%  %2/%3 files  %4")
                           .arg(static_cast<int>(total_), 3)
                           .arg(finished_)
                           .arg(count_)
                           .arg(Elapsed(seconds));
  const int cells = std::max(10, std::min(40, columns - static_cast<int>(tail.size()) - 2));
  out += QStringLiteral("[%1]%2\n").arg(Bar(total_, cells), tail);
  std::fputs(out.toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
  drawnLines_ = static_cast<int>(running_.size()) + 1;
}

}  // namespace sv::cli
