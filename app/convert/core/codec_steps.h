// The rows that one call into a whole-file codec library converts: OGG, VQF and WMA to WAV,
// and WAV to OGG, VQF and WMA. The contract with the libraries is in outside_codecs.h.
#pragma once

#include "convert/core/wave_options.h"
#include "jobs/core/job_runner.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sv {

// How one conversion type calls its library.
struct CodecCall {
  std::string library;  // "svogg"
  const char* entry;    // "OGGDecode"
  QString format;       // the compressed format, "OGG"
  bool decoding = false;
  // Makes the call through the resolved entry point.
  std::function<std::int32_t(void* entry, const QByteArray& source, const QByteArray& destination,
                             std::int16_t* cancel)>
      call;
};

// A step over one such call. While it runs, the stop button asks at once and the library
// reads the flag.
std::unique_ptr<jobs::RowStep> CodecStep(CodecCall call);

// The six calls, with the page's settings read when a file starts.
CodecCall OggDecodeCall();
CodecCall VqfDecodeCall();
CodecCall WmaDecodeCall();
CodecCall OggEncodeCall(std::function<WaveToAllOptions()> options);
CodecCall VqfEncodeCall(std::function<WaveToAllOptions()> options);
CodecCall WmaEncodeCall(std::function<WaveToAllOptions()> options);

}  // namespace sv
