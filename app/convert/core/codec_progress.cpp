#include "convert/core/codec_progress.h"

#include "jobs/core/job_runner.h"
#include "platform/rounding.h"
#include "platform/runtime_error.h"

namespace sv {

std::int32_t VqfSourceLength = 0;

std::int16_t VqfDecodePercent(std::int32_t position, std::int32_t rate, std::int32_t sourceLength) {
  if (rate == 0) Raise(errDivisionByZero);
  std::int32_t estimate = CLng(sourceLength * 14.69 / rate);
  if (estimate < position) estimate = position + 10;
  return CInt(static_cast<double>(position) / estimate * 100.0);
}

namespace {

std::int16_t simple(std::int16_t percent) {
  jobs::ReportLibraryProgress(percent);
  return 0;
}

}  // namespace
}  // namespace sv

extern "C" {

std::int16_t OggDecodeProgress(std::int16_t percent) { return sv::simple(percent); }
std::int16_t WmaDecodeProgress(std::int16_t percent) { return sv::simple(percent); }
std::int16_t OggEncodeProgress(std::int16_t percent) { return sv::simple(percent); }
std::int16_t VqfEncodeProgress(std::int16_t percent) { return sv::simple(percent); }
std::int16_t WmaProgress(std::int16_t percent) { return sv::simple(percent); }

std::int16_t VqfDecodeProgress(std::int16_t position, std::int16_t rate) {
  try {
    return sv::simple(sv::VqfDecodePercent(position, rate, sv::VqfSourceLength));
  } catch (...) {
    return 0;  // a rate of 0 gives nothing to show; nothing may escape into the library
  }
}
}
