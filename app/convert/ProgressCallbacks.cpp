#include "ProgressCallbacks.h"

#include "Progress.h"
#include "platform/events.h"
#include "platform/fault_guard.h"
#include "platform/rounding.h"

#include <exception>

namespace sv {

std::int32_t VqfSourceLength = 0;

namespace {

ProgressTarget* decodeTarget = nullptr;

// Runs inside a library's call: nothing may escape into it.
std::int16_t Report(ProgressTarget* target, int percent) {
  const SuspendFaultGuard ownCode;
  if (!target) return 0;
  try {
    DrawProgress(target->FileBar(), static_cast<float>(percent), target->FileColor(), true);
  } catch (const std::exception&) {
  }
  try {
    const int total = TotalPercentOfRows(percent, target->RowCount(), target->CurrentFile());
    DrawProgress(target->TotalBar(), static_cast<float>(total), target->FileColor(), true);
  } catch (const std::exception&) {
  }
  try {
    DoEvents();
  } catch (const std::exception&) {
  }
  return 0;
}

}  // namespace

void SetDecodeProgressTarget(ProgressTarget* target) { decodeTarget = target; }

std::int16_t VqfDecodePercent(std::int32_t position, std::int32_t rate, std::int32_t sourceLength) {
  std::int32_t estimate = CLng(sourceLength * 14.69 / rate);
  if (estimate < position) estimate = position + 10;
  return CInt(static_cast<double>(position) / estimate * 100.0);
}

}  // namespace sv

extern "C" {

std::int16_t OggDecodeProgress(std::int16_t percent) { return sv::Report(sv::decodeTarget, percent); }

std::int16_t VqfDecodeProgress(std::int16_t position, std::int16_t rate) {
  int percent = 0;
  try {
    percent = sv::VqfDecodePercent(position, rate, sv::VqfSourceLength);
  } catch (const std::exception&) {
    return 0;  // a rate of 0 gives nothing to show
  }
  return sv::Report(sv::decodeTarget, percent);
}
}
