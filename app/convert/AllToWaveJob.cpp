#include "AllToWaveJob.h"

#include "DecoderLibrary.h"
#include "FinishLine.h"
#include "OutsideCodecs.h"
#include "PictureBox.h"
#include "platform/events.h"
#include "platform/fault_guard.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"
#include "shell/core/globals.h"
#include "shell/core/helpers.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <exception>
#include <filesystem>
#include <system_error>

namespace sv {
namespace {

constexpr QRgb kStatusPlain = qRgb(0, 0, 0);
constexpr QRgb kStatusDone = qRgb(23, 122, 18);
constexpr QRgb kStatusFailed = qRgb(192, 0, 0);
constexpr std::chrono::milliseconds kYieldInterval{5};

// The job loop goes on past a statement that fails.
template <typename Fn>
void Pass(Fn&& fn) {
  try {
    fn();
  } catch (const std::exception&) {
  }
}

bool SameFile(const QString& a, const QString& b) {
  std::error_code ec;
  return std::filesystem::equivalent(QFile::encodeName(a).toStdString(), QFile::encodeName(b).toStdString(),
                                     ec);
}

std::int16_t Low16(std::int32_t result) { return static_cast<std::int16_t>(result & 0xFFFF); }

}  // namespace

QString ReadyLine(int rows) {
  return QStringLiteral("Total ") + QString::number(rows) + QStringLiteral(" files,ready for converting...");
}

AllToWaveJob::AllToWaveJob(AllToWaveView& view) : view_(view) { SetDecodeProgressTarget(this); }

AllToWaveJob::~AllToWaveJob() { SetDecodeProgressTarget(nullptr); }

void AllToWaveJob::Load() {
  CancelConvert = 0;
  totalcolor = filecolor = kJobBarColor;
  view_.SetStatus(QString());
  Pass([&] { DrawProgress(view_.FileBar(), 0, filecolor, true); });
  Pass([&] { DrawProgress(view_.TotalBar(), 0, totalcolor, true); });
  Pass([&] { view_.ShowConvertType(ReadyLine(view_.RowCount())); });
}

void AllToWaveJob::Start() {
  // The whole path: a missing parent must not make every row fail.
  std::error_code ignored;
  std::filesystem::create_directories(QFile::encodeName(AllToWaveOutputDir).toStdString(), ignored);
  ConvertAllFiles();
}

void AllToWaveJob::ConvertAllFiles() {
  converting_ = true;
  view_.SetStatusColor(kStatusPlain);
  view_.SetStatus(QString());
  view_.SetCancelCaption(QStringLiteral("C&ancel"));

  int n = 0;
  int failedFiles = 0;
  Pass([&] { n = view_.RowCount(); });
  for (int i = 1; i <= n; ++i) {
    currentfile = static_cast<std::int16_t>(i);
    Pass([&] { DrawProgress(view_.FileBar(), 0, filecolor, true); });

    QString source, destination, type;
    Pass([&] { source = view_.Cell(i, kColSourcePath); });
    Pass([&] { destination = view_.Cell(i, kColDesPath); });
    Pass([&] { type = view_.Cell(i, kColConvert); });
    view_.ShowConvertType(type);
    view_.ShowSource(source);
    view_.ShowOutput(destination);

    int answer = vbYes;
    if (FileExists(destination) && !view_.OverwriteTicked()) {
      answer = MsgBox(destination + QStringLiteral(" existed, do you want to overwrite it?"),
                      vbYesNoCancel | vbInformation, QString::fromLatin1(kProductTitle));
      if (answer == vbCancel) {
        CancelConvert = 1;
        break;
      }
    }
    if (answer == vbYes && SameFile(source, destination)) {
      // Deleting or writing the destination would destroy the source.
      view_.SetStatus(QString::fromLatin1(kDestinationIsSource));
      ++failedFiles;
    } else if (answer == vbYes) {
      if (FileExists(destination)) QFile::remove(destination);
      currentType_ = type;
      QString status;
      bool ran = true;
      Pass([&] {
        if (type == QLatin1String("MP3->WAV"))
          status = DecodeMp3File(source, destination);
        else if (type == QLatin1String("OGG->WAV"))
          status = DecodeOggFile(source, destination);
        else if (type == QLatin1String("VQF->WAV"))
          status = DecodeVqfFile(source, destination);
        else if (type == QLatin1String("WMA->WAV"))
          status = DecodeWmaFile(source, destination);
        else
          ran = false;  // unknown type: the previous row's text stays
        if (ran) view_.SetStatus(status);
      });
      if (ran && !status.isEmpty()) ++failedFiles;
    }
    if (CancelConvert == 1) break;

    Pass([&] { DrawProgress(view_.FileBar(), 100, filecolor, true); });
    Pass([&] {
      const int rows = view_.RowCount();
      DrawProgress(view_.TotalBar(), CInt(static_cast<double>(i) / rows * 100.0), totalcolor, true);
    });
  }
  converting_ = false;

  if (CancelConvert == 1) {
    view_.Unload();
    return;
  }
  view_.SetStatusColor(failedFiles > 0 ? kStatusFailed : kStatusDone);
  view_.SetStatus(FinishLine(failedFiles));
  view_.SetCancelCaption(QStringLiteral("&OK"));
}

QString AllToWaveJob::DecodeMp3File(const QString& source, const QString& destination) {
  if (Low16(GuardedCall([] { return svdecode::CreateDecoder(); })) != 0)
    return QString::fromLatin1(kCreateDecoderError);
  GuardedCall([] { return svdecode::RegisterInputModule(); });
  GuardedCall([] { return svdecode::RegisterOutputModule(); });

  const QByteArray input = QFile::encodeName(source);
  if (Low16(GuardedCall([&] { return svdecode::Mp3InputOpen(input.constData()); })) != 0) {
    GuardedCall([] { return svdecode::DeleteDecoder(); });
    return QString::fromLatin1(kMp3InputError);
  }
  const QByteArray output = QByteArrayLiteral("wav:") + QFile::encodeName(destination);
  if (Low16(GuardedCall([&] { return svdecode::WaveOutputOpen(output.constData()); })) != 0) {
    GuardedCall([] { return svdecode::Mp3InputClose(); });
    GuardedCall([] { return svdecode::DeleteDecoder(); });
    return QString::fromLatin1(kWaveOutputOpenError);
  }

  const int rows = view_.RowCount();
  const int share = FileShare(rows);
  const int base = FileBase(rows, currentfile);
  int lastFile = -1;
  int lastTotal = -1;
  auto lastYield = std::chrono::steady_clock::now();
  // Whether the input gave any audio and how the decode ended decide the status text.
  bool anyFrame = false;
  bool stopped = false;
  bool failed = false;
  std::int16_t last = 0;
  try {
    for (;;) {
      // One guarded call per step: the decode and the position read together.
      float position = 0;
      const std::int16_t r = Low16(GuardedCall([&position] {
        const std::int32_t result = svdecode::Mp3DecodePlay();
        position = svdecode::GetCurrentPosition();
        return result;
      }));
      last = r;
      if (r == 0) anyFrame = true;
      const int p = CInt(position * 100.0);
      const int total = TotalPercent(p, share, base);
      bool drew = false;
      if (p != lastFile) {
        DrawProgress(view_.FileBar(), static_cast<float>(p), filecolor, true);
        lastFile = p;
        drew = true;
      }
      if (total != lastTotal) {
        DrawProgress(view_.TotalBar(), static_cast<float>(total), filecolor, true);
        lastTotal = total;
        drew = true;
      }
      // A pass through the event loop costs about as much as a tenth of a decode step, so
      // it runs after each redraw and otherwise at most every few milliseconds: clicks
      // still reach the window many times a second.
      const auto now = std::chrono::steady_clock::now();
      if (drew || now - lastYield >= kYieldInterval) {
        DoEvents();
        lastYield = now;
      }
      if (CancelConvert == 1) {
        if (MsgBox(QString::fromLatin1(kStopQuestion), vbYesNo | vbInformation,
                   QString::fromLatin1(kProductTitle)) == vbYes) {
          stopped = true;
          break;
        }
        CancelConvert = 0;
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
  // A file the library could not write out completely is no success.
  if (closed == svdecode::kWriteFailed) return QString::fromLatin1(kWaveOutputWriteError);
  // No audio at all, or a decode that broke off before the end of the input, is no success.
  if (!stopped && (failed || !anyFrame || last != svdecode::kEndOfInput))
    return QString::fromLatin1(kMp3DecodeError);
  return QString();
}

QString AllToWaveJob::DecodeOggFile(const QString& source, const QString& destination) {
  const QByteArray input = QFile::encodeName(source);
  const QByteArray output = QFile::encodeName(destination);
  codecs::OGGDecode(input.constData(), output.constData(), &OggDecodeProgress, &CancelConvert);
  return QString();
}

QString AllToWaveJob::DecodeVqfFile(const QString& source, const QString& destination) {
  VqfSourceLength = static_cast<std::int32_t>(QFileInfo(source).size());
  const QByteArray input = QFile::encodeName(source);
  const QByteArray output = QFile::encodeName(destination);
  const VqfDecodeProgressProc progressCell = &VqfDecodeProgress;
  codecs::VQFDecode(input.constData(), output.constData(), &progressCell, &CancelConvert);
  return QString();
}

QString AllToWaveJob::DecodeWmaFile(const QString&, const QString&) { return QString(); }

void AllToWaveJob::Cancel() {
  if (!converting_) {
    view_.Unload();
    return;
  }
  if (currentType_ == QLatin1String("OGG->WAV") || currentType_ == QLatin1String("VQF->WAV") ||
      currentType_ == QLatin1String("WMA->WAV")) {
    CancelConvert = MsgBox(QString::fromLatin1(kStopQuestion), vbYesNo | vbInformation,
                           QString::fromLatin1(kProductTitle)) == vbYes
                        ? 1
                        : 0;
  } else if (currentType_ == QLatin1String("MP3->WAV")) {
    CancelConvert = 1;
  }
}

}  // namespace sv
