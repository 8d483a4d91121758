// What every exported codec call shares: the result codes, progress at whole-percent steps,
// the caller's cancel flag, and a boundary that no exception crosses.
#pragma once

#include <svcodec.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>

namespace svcodec {

// Calls the caller's callback once per change of the whole percentage, rising only.
class Progress {
 public:
  explicit Progress(CodecProgressProc proc) : proc_(proc) {}

  void Report(double fraction) {
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0);
    if (percent <= last_) return;
    last_ = percent;
    if (proc_) proc_(static_cast<int16_t>(percent));
  }
  // The call's result once its output is closed: a damaged source turns success into
  // SVC_E_DAMAGED, and only a complete success reaches 100 %.
  int32_t Conclude(int32_t result, bool damaged) {
    if (result == SVC_OK && damaged) return SVC_E_DAMAGED;
    if (result == SVC_OK) Report(1.0);
    return result;
  }

 private:
  CodecProgressProc proc_;
  int last_ = -1;
};

// The flag may be set by the callback or by another thread while the call runs.
inline bool Cancelled(int16_t* flag) {
  return flag != nullptr && std::atomic_ref<int16_t>(*flag).load(std::memory_order_relaxed) != 0;
}

// Runs the body of an exported call; nothing thrown inside reaches the C caller.
template <class Body>
int32_t Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return SVC_E_INTERNAL;
  }
}

}  // namespace svcodec
