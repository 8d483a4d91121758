#include "convert/core/mp3_encode_step.h"

#include "convert/core/step_texts.h"
#include "jobs/core/paths.h"
#include "mod_wav.h"
#include "platform/fault_guard.h"
#include "platform/library_loader.h"
#include "platform/rounding.h"
#include "platform/runtime_error.h"
#include "wav_file_io.h"

#include <QFileInfo>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

namespace sv {
namespace {

using jobs::RowResult;

constexpr const char* kEncoderSource = "svencode";
// Encoded bytes are gathered and written in blocks of this size rather than per chunk.
constexpr std::size_t kWriteBlock = 64 * 1024;

std::string native(const QString& path) { return jobs::NativePath(path).toStdString(); }

// The destination, written in blocks; a failed write is remembered.
class BlockWriter {
 public:
  explicit BlockWriter(clsFileIo& out) : out_(out) { pending_.reserve(kWriteBlock); }
  void Add(const std::uint8_t* bytes, std::uint32_t count) {
    if (count == 0) return;
    pending_.insert(pending_.end(), bytes, bytes + count);
    if (pending_.size() >= kWriteBlock) Flush();
  }
  void Flush() {
    if (!pending_.empty() &&
        out_.WriteBytes(pending_.data(), static_cast<std::int32_t>(pending_.size())) != clsFileIo::kTrue)
      failed_ = true;
    pending_.clear();
  }
  bool Failed() const { return failed_; }

 private:
  clsFileIo& out_;
  std::vector<std::uint8_t> pending_;
  bool failed_ = false;
};

class Mp3Encode : public jobs::RowStep {
 public:
  Mp3Encode(std::function<WaveToAllOptions()> options, Mp3EncoderCalls calls)
      : options_(std::move(options)), calls_(std::move(calls)) {}

  RowResult Run(const jobs::JobRow& row, jobs::StepContext& context) override {
    try {
      return encode(row, context);
    } catch (const RuntimeError& error) {
      return failed(error, context);
    } catch (const std::bad_alloc&) {
      return failed(RuntimeError(errOutOfMemory), context);
    }
  }

 private:
  // The step's error handler: the error's text, then the "Error#" box. Buffers and files
  // were released on the way out.
  static RowResult failed(const RuntimeError& error, jobs::StepContext& context) {
    context.Questions().Tell(error.description());
    if (error.number() != 0) context.Questions().TellError(error);
    return RowResult::Failed(error.description());
  }

  RowResult encode(const jobs::JobRow& row, jobs::StepContext& context) {
    // The source is only ever read: its contents and attributes stay as they are.
    const std::string source = native(row.source);
    modWAV::WavHeader header{};
    modWAV::WavLayout layout;
    modWAV::ReadWavHeader(source, header, layout);
    if (!QFileInfo::exists(row.source)) return RowResult::Failed(QString::fromLatin1(kSourceOpenText));
    if (!modWAV::IsPcm16(header, layout)) return RowResult::Failed(QString::fromLatin1(kNotPcm16Text));
    if (header.Channels > 2) return RowResult::Failed(QString::fromLatin1(kChannelsText));

    const int channels = header.Channels;
    // Whole sample frames only: a stray odd byte at the end is not a sample.
    const std::int64_t blockAlign = 2 * channels;
    const std::int64_t total = layout.DataBytes / blockAlign * blockAlign;
    // Nothing to encode would give an empty or frame-less file.
    if (total == 0) return RowResult::Failed(QString::fromLatin1(kNoSamplesText));

    EncoderConfig config = MakeEncoderConfig(options_ ? options_() : WaveToAllOptions{}, header.SampleRate);
    // A mono source is encoded as mono; a stereo source in mono mode is mixed down here,
    // as the encoder takes one channel per chunk in mono mode.
    if (channels == 1) config.mode = BE_MP3_MODE_MONO;
    const bool downmix = channels == 2 && config.mode == BE_MP3_MODE_MONO;

    clsFileIo in;
    if (in.OpenFileReadOnly(source) != clsFileIo::kTrue)
      return RowResult::Failed(QString::fromLatin1(kSourceOpenText));

    std::uint32_t samplesPerChunk = 0, outputSize = 0, stream = 0;
    const std::int32_t initResult = calls_.Init(&config, &samplesPerChunk, &outputSize, &stream);
    if (initResult != BE_ERR_SUCCESSFUL)
      throw RuntimeError(initResult, kEncoderSource, EncoderErrorText(initResult));
    const Mp3StreamGuard closer(calls_, stream);

    clsFileIo out;
    if (out.OpenFile(native(row.destination)) != clsFileIo::kTrue)
      return RowResult::Failed(QString::fromLatin1(kDestinationCreateText));

    // Bytes read per chunk: one chunk of the encoder's input, two source channels when mixing down.
    const std::int64_t chunkBytes = static_cast<std::int64_t>(samplesPerChunk) * 2 * (downmix ? 2 : 1);
    // The buffers; their size does not depend on the file's.
    std::vector<std::int16_t> input(static_cast<std::size_t>(chunkBytes / 2), 0);
    std::vector<std::uint8_t> output(outputSize, 0);
    BlockWriter writer(out);

    // Pass over everything before the samples (the header and any chunks before "data").
    for (std::int64_t skip = layout.DataOffset; skip > 0;) {
      const auto n =
          static_cast<std::int32_t>(std::min<std::int64_t>(skip, static_cast<std::int64_t>(output.size())));
      if (in.ReadBytes(output.data(), n) == 0 || in.LastBytesRead() != n)
        return RowResult::Failed(QString::fromLatin1(kSourceOpenText));
      skip -= n;
    }

    bool stopped = false;
    std::int64_t done = 0;
    while (done < total && !writer.Failed()) {
      const std::int64_t count = done + chunkBytes < total ? chunkBytes : total - done;
      if (in.ReadBytes(input.data(), static_cast<std::int32_t>(count)) == 0 || in.LastBytesRead() <= 0) break;
      const std::int64_t got = in.LastBytesRead() / blockAlign * blockAlign;  // short only if the file shrank
      done += count;
      auto samples = static_cast<std::uint32_t>(got / 2);
      if (downmix) {
        for (std::uint32_t i = 0; i < samples / 2; ++i)
          input[i] =
              static_cast<std::int16_t>((static_cast<std::int32_t>(input[2 * i]) + input[2 * i + 1]) >> 1);
        samples /= 2;
      }
      std::uint32_t produced = 0;
      const std::int32_t result = calls_.Encode(stream, samples, input.data(), output.data(), &produced);
      if (result != BE_ERR_SUCCESSFUL) throw RuntimeError(result, kEncoderSource, EncoderErrorText(result));
      writer.Add(output.data(), produced);
      if (got < count) done = total;  // the file ended early

      if (!context.Progress(CInt(static_cast<double>(done) / static_cast<double>(total) * 100))) {
        stopped = true;
        break;
      }
    }

    // The final frames complete the file, also after a stop.
    std::uint32_t produced = 0;
    const std::int32_t result = calls_.Deinit(stream, output.data(), &produced);
    if (result == BE_ERR_SUCCESSFUL) writer.Add(output.data(), produced);
    writer.Flush();
    out.FlushBuffers();
    const bool closed = out.CloseFile() == clsFileIo::kTrue;
    in.CloseFile();
    if (stopped) return RowResult::Stopped();
    if (writer.Failed() || !closed) return RowResult::Failed(QString::fromLatin1(kDestinationWriteText));
    if (result != BE_ERR_SUCCESSFUL) throw RuntimeError(result, kEncoderSource, EncoderErrorText(result));
    return RowResult::Done();
  }

  std::function<WaveToAllOptions()> options_;
  Mp3EncoderCalls calls_;
};

}  // namespace

QString EncoderErrorText(std::int32_t code) {
  switch (code) {
    case BE_ERR_SUCCESSFUL:
      return QStringLiteral("No Error");
    case BE_ERR_INVALID_FORMAT:
      return QStringLiteral("Invalid format");
    case BE_ERR_INVALID_FORMAT_PARAMETERS:
      return QStringLiteral("Invalid format parameters");
    case BE_ERR_NO_MORE_HANDLES:
      return QStringLiteral("No more handles");
    case BE_ERR_INVALID_HANDLE:
      return QStringLiteral("Invalid handle");
    case BE_ERR_BUFFER_TOO_SMALL:
      return QStringLiteral("Buffer too small");
    default:
      return QString();
  }
}

Mp3EncoderCalls SvencodeCalls() {
  static SharedLibrary library("svencode");
  static LazyFunction<std::int32_t(const EncoderConfig*, std::uint32_t*, std::uint32_t*, std::uint32_t*)>
      init(library, "beInitStream");
  static LazyFunction<std::int32_t(std::uint32_t, std::uint32_t, const std::int16_t*, std::uint8_t*,
                                   std::uint32_t*)>
      encode(library, "beEncodeChunk");
  static LazyFunction<std::int32_t(std::uint32_t, std::uint8_t*, std::uint32_t*)> deinit(library,
                                                                                         "beDeinitStream");
  static LazyFunction<std::int32_t(std::uint32_t)> close(library, "beCloseStream");
  Mp3EncoderCalls calls;
  calls.Init = [](const EncoderConfig* c, std::uint32_t* n, std::uint32_t* size, std::uint32_t* h) {
    auto fn = init.get();
    return GuardedCall([&] { return fn(c, n, size, h); });
  };
  calls.Encode = [](std::uint32_t h, std::uint32_t n, const std::int16_t* in, std::uint8_t* out,
                    std::uint32_t* produced) {
    auto fn = encode.get();
    return GuardedCall([&] { return fn(h, n, in, out, produced); });
  };
  calls.Deinit = [](std::uint32_t h, std::uint8_t* out, std::uint32_t* produced) {
    auto fn = deinit.get();
    return GuardedCall([&] { return fn(h, out, produced); });
  };
  calls.Close = [](std::uint32_t h) {
    auto fn = close.get();
    return GuardedCall([&] { return fn(h); });
  };
  return calls;
}

std::unique_ptr<jobs::RowStep> Mp3EncodeStep(std::function<WaveToAllOptions()> options,
                                             Mp3EncoderCalls calls) {
  return std::make_unique<Mp3Encode>(std::move(options), std::move(calls));
}

}  // namespace sv
