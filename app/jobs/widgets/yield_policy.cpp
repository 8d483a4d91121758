#include "jobs/widgets/yield_policy.h"

namespace sv::jobs {
namespace {

constexpr int kMaxStride = 256;
// The clock is read about every two to eight milliseconds of work.
constexpr auto kCheckEvery = std::chrono::milliseconds(2);

}  // namespace

YieldPolicy::YieldPolicy(Clock::duration interval)
    : interval_(interval), lastCheck_(Clock::now()), lastRun_(lastCheck_) {}

bool YieldPolicy::Due() {
  if (++count_ < stride_) return false;
  count_ = 0;
  const Clock::time_point now = Clock::now();
  const Clock::duration sinceCheck = now - lastCheck_;
  lastCheck_ = now;
  if (sinceCheck < kCheckEvery && stride_ < kMaxStride)
    stride_ *= 2;
  else if (sinceCheck > kCheckEvery * 4 && stride_ > 1)
    stride_ /= 2;
  if (now - lastRun_ < interval_) return false;
  lastRun_ = now;
  return true;
}

void YieldPolicy::Ran() {
  lastRun_ = Clock::now();
  lastCheck_ = lastRun_;
  count_ = 0;
}

}  // namespace sv::jobs
