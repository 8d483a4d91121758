// WAV to MP3: the encoder library svencode (BladeEnc-style stream calls over LAME), loaded by
// name at its first call, one encoder chunk per unit of work.
#pragma once

#include "convert/core/wave_options.h"
#include "jobs/core/job_runner.h"
#include "svencode.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace sv {

// The encoder's text for a result code ("" for codes it does not know).
QString EncoderErrorText(std::int32_t code);

// The encoder's four stream calls.
struct Mp3EncoderCalls {
  std::function<std::int32_t(const EncoderConfig*, std::uint32_t*, std::uint32_t*, std::uint32_t*)> Init;
  std::function<std::int32_t(std::uint32_t, std::uint32_t, const std::int16_t*, std::uint8_t*,
                             std::uint32_t*)>
      Encode;
  std::function<std::int32_t(std::uint32_t, std::uint8_t*, std::uint32_t*)> Deinit;
  std::function<std::int32_t(std::uint32_t)> Close;
};
// Closes an encoder stream however the routine that opened it is left.
class Mp3StreamGuard {
 public:
  Mp3StreamGuard(const Mp3EncoderCalls& calls, std::uint32_t handle) : calls_(calls), handle_(handle) {}
  ~Mp3StreamGuard() {
    try {
      calls_.Close(handle_);
    } catch (...) {
    }
  }
  Mp3StreamGuard(const Mp3StreamGuard&) = delete;
  Mp3StreamGuard& operator=(const Mp3StreamGuard&) = delete;

 private:
  const Mp3EncoderCalls& calls_;
  std::uint32_t handle_;
};

// svencode, loaded by name at the first call; a missing library or entry point throws the
// loader's RuntimeError, a processor fault inside a call error 10000.
Mp3EncoderCalls SvencodeCalls();

// EncodeMp3File as a step. The source is only read (16-bit PCM, one or two channels, the
// samples found wherever the file keeps them); the page's options are read when a file
// starts. An encoder error shows the error's text and the "Error#" box and marks the row
// not converted; a stopped file is completed by the encoder's last frames and kept.
std::unique_ptr<jobs::RowStep> Mp3EncodeStep(std::function<WaveToAllOptions()> options,
                                             Mp3EncoderCalls calls = SvencodeCalls());

}  // namespace sv
