#include "convert/core/codec_steps.h"

#include "convert/core/codec_progress.h"
#include "convert/core/outside_codecs.h"
#include "jobs/core/paths.h"
#include "platform/fault_guard.h"
#include "platform/library_loader.h"
#include "platform/runtime_error.h"

#include <QFileInfo>

namespace sv {
namespace {

using jobs::RowResult;

// A library that is not there, as the row's status and as the one notice of the job.
QString missingReason(const CodecCall& c, const RuntimeError& error) {
  const QString name = QString::fromStdString(c.library);
  switch (error.number()) {
    case errFileNotFound:
      return QStringLiteral("codec library %1 is not installed").arg(name);
    case errDllEntryNotFound:
      return QStringLiteral("codec library %1 has no %2").arg(name, QString::fromLatin1(c.entry));
    default:
      return QStringLiteral("codec library %1 can not be loaded").arg(name);
  }
}

QString missingNotice(const CodecCall& c, const RuntimeError& error) {
  const QString what = c.decoding ? QStringLiteral("%1 files can not be converted to WAV").arg(c.format)
                                  : QStringLiteral("WAV files can not be converted to %1").arg(c.format);
  return what + QStringLiteral(": the ") + missingReason(c, error) + QStringLiteral(" (") + ErrorText(error) +
         QStringLiteral(
             ").\n\nThe job goes on with the other files; those that need this "
             "library are marked as not converted in the list.");
}

class Codec : public jobs::RowStep {
 public:
  explicit Codec(CodecCall call) : call_(std::move(call)) {}

  Cancelling CancelStyle() const override { return Cancelling::Library; }

  RowResult Run(const jobs::JobRow& row, jobs::StepContext& context) override {
    void* entry = nullptr;
    try {
      entry = codecs::Library(call_.library).symbol(call_.entry);
    } catch (const RuntimeError& error) {
      if (context.FirstNotice(QString::fromStdString(call_.library)))
        context.Questions().Tell(missingNotice(call_, error));
      return RowResult::Failed(missingReason(call_, error));
    }
    const QByteArray source = jobs::NativePath(row.source);
    const QByteArray destination = jobs::NativePath(row.destination);
    std::int32_t result = 0;
    try {
      result = GuardedCall([&] { return call_.call(entry, source, destination, context.CancelFlag()); });
    } catch (const RuntimeError& error) {
      // A fault inside the library: reported, and the job goes on.
      context.Questions().TellError(error);
      return RowResult::Failed(ErrorText(error));
    }
    if (context.StopRequested()) return RowResult::Stopped();
    if (result != SVC_OK)
      return RowResult::Failed(codecs::CodecResultText(result, call_.decoding, call_.format));
    if (!QFileInfo::exists(row.destination))
      return RowResult::Failed(QStringLiteral("the codec library wrote no file"));
    return RowResult::Done();
  }

 private:
  CodecCall call_;
};

WaveToAllOptions read(const std::function<WaveToAllOptions()>& options) {
  return options ? options() : WaveToAllOptions{};
}

}  // namespace

std::unique_ptr<jobs::RowStep> CodecStep(CodecCall call) { return std::make_unique<Codec>(std::move(call)); }

CodecCall OggDecodeCall() {
  return {"svogg", "OGGDecode", QStringLiteral("OGG"), true,
          [](void* entry, const QByteArray& src, const QByteArray& dst, std::int16_t* cancel) {
            return reinterpret_cast<OGGDecodeProc>(entry)(src.constData(), dst.constData(),
                                                          &OggDecodeProgress, cancel);
          }};
}

CodecCall VqfDecodeCall() {
  return {"svvqf", "VQFDecode", QStringLiteral("VQF"), true,
          [](void* entry, const QByteArray& src, const QByteArray& dst, std::int16_t* cancel) {
            VqfSourceLength = static_cast<std::int32_t>(QFileInfo(QFile::decodeName(src)).size());
            // The library takes the address of a cell holding the callback.
            const VqfDecodeProgressProc cell = &VqfDecodeProgress;
            return reinterpret_cast<VQFDecodeProc>(entry)(src.constData(), dst.constData(), &cell, cancel);
          }};
}

CodecCall WmaDecodeCall() {
  return {"svwma", "WMADecode", QStringLiteral("WMA"), true,
          [](void* entry, const QByteArray& src, const QByteArray& dst, std::int16_t* cancel) {
            return reinterpret_cast<WMADecodeProc>(entry)(src.constData(), dst.constData(),
                                                          &WmaDecodeProgress, cancel);
          }};
}

CodecCall OggEncodeCall(std::function<WaveToAllOptions()> options) {
  return {"svogg", "OGGEncode", QStringLiteral("OGG"), false,
          [options](void* entry, const QByteArray& src, const QByteArray& dst, std::int16_t* cancel) {
            const std::int32_t level = OggLevelAt(read(options).OggBitrate);
            return reinterpret_cast<OGGEncodeProc>(entry)(src.constData(), dst.constData(), 44100, level,
                                                          &OggEncodeProgress, cancel);
          }};
}

CodecCall VqfEncodeCall(std::function<WaveToAllOptions()> options) {
  return {"svvqf", "VQFEncode", QStringLiteral("VQF"), false,
          [options](void* entry, const QByteArray& src, const QByteArray& dst, std::int16_t* cancel) {
            const std::int32_t bitrate = VqfBitrateAt(read(options).VqfBitrate);
            const CodecProgressProc cell = &VqfEncodeProgress;
            return reinterpret_cast<VQFEncodeProc>(entry)(src.constData(), dst.constData(), 44, bitrate,
                                                          &cell, cancel);
          }};
}

CodecCall WmaEncodeCall(std::function<WaveToAllOptions()> options) {
  return {"svwma", "WMAEncode", QStringLiteral("WMA"), false,
          [options](void* entry, const QByteArray& src, const QByteArray& dst, std::int16_t* cancel) {
            const std::uint8_t profile = WmaProfileAt(read(options).WmaBitrate);
            return reinterpret_cast<WMAEncodeProc>(entry)(src.constData(), dst.constData(), profile,
                                                          &WmaProgress, cancel);
          }};
}

}  // namespace sv
