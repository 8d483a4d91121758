#include "job_driver.h"

#include "frmAllToWaveStatus.h"
#include "frmWaveToAllStatus.h"
#include "grid/job_grid.h"
#include "jobs/widgets/picture_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <ctime>

#include <sys/resource.h>
#include <memory>

namespace bench {

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

namespace {

double threadSystemSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_stime.tv_sec) + static_cast<double>(u.ru_stime.tv_usec) * 1e-6;
}

}  // namespace

Timing Time(const std::function<void()>& work) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const double cpu = ThreadCpuSeconds();
  const double system = threadSystemSeconds();
  work();
  return {std::chrono::duration<double>(Clock::now() - start).count(), ThreadCpuSeconds() - cpu,
          threadSystemSeconds() - system};
}

Timing RunJobWindow(const QString& type, const QString& source, const QString& destination, BarDraws* draws,
                    sv::jobs::RowResult* result) {
  grid::JobGrid list;
  for (const char* header : {"Source File", "Destination File", "Convert", "SourcePath", "DesPath"})
    list.AddColumn(QString::fromLatin1(header), 100, grid::AlignLeft, true);
  const int r = list.AddRow(source);
  list.SetCellText(r, 3, type);
  list.SetCellText(r, 4, source);
  list.SetCellText(r, 5, destination);
  QCheckBox overwrite;
  overwrite.setChecked(true);
  std::unique_ptr<sv::jobs::RowJobWindow> window;
  if (type.endsWith(QLatin1String("->WAV")))
    window = std::make_unique<sv::frmAllToWaveStatus>(nullptr, &list, &overwrite);
  else
    window = std::make_unique<sv::frmWaveToAllStatus>(
        list, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
  window->show();
  QApplication::processEvents();
  if (draws) {
    *draws = {};
    QObject::connect(window->picFileStatus, &sv::PictureBox::ProgressDrawn,
                     [draws](float) { ++draws->file; });
    QObject::connect(window->picTotalProcess, &sv::PictureBox::ProgressDrawn,
                     [draws](float) { ++draws->total; });
  }
  const Timing t = Time([&] { window->cmdStart_Click(); });
  if (result && !window->Job().Results().empty()) *result = window->Job().Results().front();
  return t;
}

double CostInShownWindow(int calls, const std::function<void(sv::jobs::RowJobWindow&, int)>& call) {
  grid::JobGrid list;
  QCheckBox overwrite;
  sv::frmAllToWaveStatus window(nullptr, &list, &overwrite);
  window.show();
  QApplication::processEvents();
  return Time([&] {
           for (int i = 0; i < calls; ++i) call(window, i);
         }).wall /
         calls;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

namespace {

double best(const std::vector<Timing>& t, double Timing::*field) {
  double b = t.front().*field;
  for (const Timing& x : t) b = std::min(b, x.*field);
  return b;
}

}  // namespace

double Paired::BestBare(double Timing::*field) const { return best(bare, field); }
double Paired::BestJob(double Timing::*field) const { return best(job, field); }

double Paired::MedianCpuRatio() const {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < bare.size(); ++i) ratios.push_back(job[i].cpu / bare[i].cpu);
  std::sort(ratios.begin(), ratios.end());
  return ratios[ratios.size() / 2];
}

Paired RunPaired(int rounds, const std::function<Timing()>& bare, const std::function<Timing()>& job) {
  Paired p;
  for (int i = 0; i < rounds; ++i) {
    if (i % 2 == 0) {
      p.bare.push_back(bare());
      p.job.push_back(job());
    } else {
      p.job.push_back(job());
      p.bare.push_back(bare());
    }
  }
  return p;
}

}  // namespace bench
