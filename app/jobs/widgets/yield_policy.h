// When a job's loop lets the event loop run. Often enough that Cancel and repaints are
// handled within a hundredth of a second; rarely enough that the work keeps its speed. The
// clock is read only every few calls: the stride adapts so that it is read every few
// milliseconds whatever a unit of work costs (a decoded frame, an encoded chunk, a CD block).
#pragma once

#include <chrono>

namespace sv::jobs {

class YieldPolicy {
 public:
  using Clock = std::chrono::steady_clock;

  explicit YieldPolicy(Clock::duration interval = std::chrono::milliseconds(10));

  // Called once per unit of work; true when the event loop should run now.
  bool Due();
  // The event loop ran (for whatever reason): the interval starts again.
  void Ran();

  int Stride() const { return stride_; }

 private:
  Clock::duration interval_;
  int stride_ = 1;
  int count_ = 0;
  Clock::time_point lastCheck_;
  Clock::time_point lastRun_;
};

}  // namespace sv::jobs
