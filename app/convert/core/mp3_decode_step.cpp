#include "convert/core/mp3_decode_step.h"

#include "convert/core/decoder_library.h"
#include "convert/core/step_texts.h"
#include "jobs/core/paths.h"
#include "platform/fault_guard.h"
#include "platform/rounding.h"

#include <cstdint>
#include <exception>

namespace sv {
namespace {

using jobs::RowResult;

std::int16_t Low16(std::int32_t result) { return static_cast<std::int16_t>(result & 0xFFFF); }

class Mp3Decode : public jobs::RowStep {
 public:
  RowResult Run(const jobs::JobRow& row, jobs::StepContext& context) override {
    if (Low16(GuardedCall([] { return svdecode::CreateDecoder(); })) != 0)
      return RowResult::Failed(QString::fromLatin1(kCreateDecoderError));
    GuardedCall([] { return svdecode::RegisterInputModule(); });
    GuardedCall([] { return svdecode::RegisterOutputModule(); });

    const QByteArray input = jobs::NativePath(row.source);
    if (Low16(GuardedCall([&] { return svdecode::Mp3InputOpen(input.constData()); })) != 0) {
      GuardedCall([] { return svdecode::DeleteDecoder(); });
      return RowResult::Failed(QString::fromLatin1(kMp3InputError));
    }
    const QByteArray output = QByteArrayLiteral("wav:") + jobs::NativePath(row.destination);
    if (Low16(GuardedCall([&] { return svdecode::WaveOutputOpen(output.constData()); })) != 0) {
      GuardedCall([] { return svdecode::Mp3InputClose(); });
      GuardedCall([] { return svdecode::DeleteDecoder(); });
      return RowResult::Failed(QString::fromLatin1(kWaveOutputOpenError));
    }

    // Whether the input gave any audio and how the decode ended decide the result.
    bool anyFrame = false;
    bool stopped = false;
    bool failed = false;
    std::int16_t last = 0;
    try {
      for (;;) {
        // One guarded call per frame: the decode and the position read together.
        float position = 0;
        const std::int16_t r = Low16(GuardedCall([&position] {
          const std::int32_t result = svdecode::Mp3DecodePlay();
          position = svdecode::GetCurrentPosition();
          return result;
        }));
        last = r;
        if (r == 0) anyFrame = true;
        if (!context.Progress(CInt(position * 100.0))) {
          stopped = true;
          break;
        }
        if (r != 0 && r != svdecode::kStreamError) break;
      }
    } catch (const std::exception&) {
      // The file is closed with what was decoded, as at its end.
      failed = true;
    }

    GuardedCall([] { return svdecode::Mp3InputClose(); });
    const std::int16_t closed = Low16(GuardedCall([] { return svdecode::WaveOutputClose(); }));
    GuardedCall([] { return svdecode::DeleteDecoder(); });
    if (stopped) return RowResult::Stopped();
    // A file the library could not write out completely is no success.
    if (closed == svdecode::kWriteFailed)
      return RowResult::Failed(QString::fromLatin1(kWaveOutputWriteError));
    if (!anyFrame && !failed) return RowResult::Failed(QString::fromLatin1(kNoAudioError));
    // A decode that broke off before the end of the input is no success.
    if (failed || last != svdecode::kEndOfInput)
      return RowResult::Failed(QString::fromLatin1(kMp3DecodeError));
    return RowResult::Done();
  }
};

}  // namespace

std::unique_ptr<jobs::RowStep> Mp3DecodeStep() { return std::make_unique<Mp3Decode>(); }

}  // namespace sv
