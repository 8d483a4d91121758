// Driving a conversion job through its real status window, for the benchmarks that weigh the
// job against the bare work it wraps: a one-row job list like the page's, the window shown,
// "Convert Now" pressed and timed; rounds taken in turns and reported as best and paired
// median.
#pragma once

#include "jobs/core/job_types.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace sv::jobs {
class RowJobWindow;
}

namespace bench {

struct Timing {
  double wall = 0, cpu = 0;
  double system = 0;  // the part of cpu spent in the kernel (file writes, page cache)
};

// Processor time of this thread: less disturbed than wall time on a busy machine.
double ThreadCpuSeconds();

// Times `work` on this thread.
Timing Time(const std::function<void()>& work);

struct BarDraws {
  int file = 0, total = 0;
};

// One row of `type` ("MP3->WAV", "WAV->OGG", ...) from `source` to `destination`, run by
// the page's status window for that direction (page 1 for "...->WAV", else page 0 with its
// default settings). Gives the time of "Convert Now" and, when asked, the bar drawings; the
// row's result in `result`.
Timing RunJobWindow(const QString& type, const QString& source, const QString& destination,
                    BarDraws* draws = nullptr, sv::jobs::RowResult* result = nullptr);

// Seconds (wall clock) per call of `call(window, i)`, i from 0 to calls - 1, with an empty
// music-to-WAV status window shown and its job loaded.
double CostInShownWindow(int calls, const std::function<void(sv::jobs::RowJobWindow&, int)>& call);

// The bytes of a file, or none.
QByteArray ReadAll(const QString& path);

// `rounds` paired runs of the bare work and the job, alternating which goes first so that
// neither always meets the other's freshly written file in the page cache.
struct Paired {
  std::vector<Timing> bare, job;
  double BestBare(double Timing::*field) const;
  double BestJob(double Timing::*field) const;
  // Median over rounds of the job's processor time over the bare work's in the same round.
  double MedianCpuRatio() const;
};
Paired RunPaired(int rounds, const std::function<Timing()>& bare, const std::function<Timing()>& job);

}  // namespace bench
