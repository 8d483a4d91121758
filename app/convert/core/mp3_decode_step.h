// MP3 to WAV: the decoder library svdecode, loaded by name at its first call, one frame per
// unit of work.
#pragma once

#include "jobs/core/job_runner.h"

#include <memory>

namespace sv {

// DecodeMp3File as a step: "Create decoder error!", "mp3 input error", "wave output open
// error", "mp3 decode error" (the decode broke off), "no MPEG audio in the source file" and
// "wave output write error" (the WAV could not be completed) mark a row not converted. A
// stopped file keeps what was decoded, closed and with a true header.
std::unique_ptr<jobs::RowStep> Mp3DecodeStep();

}  // namespace sv
