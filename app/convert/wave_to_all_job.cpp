#include "wave_to_all_job.h"

#include "FinishLine.h"

#include "mod_wav.h"
#include "platform/fault_guard.h"
#include "platform/library_loader.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"
#include "platform/runtime_error.h"
#include "shell/core/error_handling.h"
#include "shell/core/globals.h"
#include "wav_file_io.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

namespace sv {

namespace {

constexpr const char* kEncoderSource = "svencode";
constexpr auto kYieldInterval = std::chrono::milliseconds(5);
const QString kStopQuestion = QStringLiteral("Really want to stop converting?");

WaveToAllJob* gActive = nullptr;

std::string local8(const QString& text) { return text.toLocal8Bit().toStdString(); }

using ProgressCallback = int16_t (*)(int16_t);

int16_t encodeProgress(int16_t percent) {
  SuspendFaultGuard ownCode;  // our own code, called back from inside a library
  WaveToAllJob* job = WaveToAllJob::Active();
  return job ? job->EncodeProgress(percent) : 0;
}

bool sameFile(const QString& a, const QString& b) {
  std::error_code ec;
  return std::filesystem::equivalent(std::filesystem::path(local8(a)), std::filesystem::path(local8(b)), ec);
}

}  // namespace

QString EncoderErrorText(int32_t code) {
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
  static LazyFunction<int32_t(const EncoderConfig*, uint32_t*, uint32_t*, uint32_t*)> init(library,
                                                                                           "beInitStream");
  static LazyFunction<int32_t(uint32_t, uint32_t, const int16_t*, uint8_t*, uint32_t*)> encode(
      library, "beEncodeChunk");
  static LazyFunction<int32_t(uint32_t, uint8_t*, uint32_t*)> deinit(library, "beDeinitStream");
  static LazyFunction<int32_t(uint32_t)> close(library, "beCloseStream");
  Mp3EncoderCalls calls;
  calls.Init = [](const EncoderConfig* c, uint32_t* n, uint32_t* size, uint32_t* h) {
    auto fn = init.get();
    return GuardedCall([&] { return fn(c, n, size, h); });
  };
  calls.Encode = [](uint32_t h, uint32_t n, const int16_t* in, uint8_t* out, uint32_t* produced) {
    auto fn = encode.get();
    return GuardedCall([&] { return fn(h, n, in, out, produced); });
  };
  calls.Deinit = [](uint32_t h, uint8_t* out, uint32_t* produced) {
    auto fn = deinit.get();
    return GuardedCall([&] { return fn(h, out, produced); });
  };
  calls.Close = [](uint32_t h) {
    auto fn = close.get();
    return GuardedCall([&] { return fn(h); });
  };
  return calls;
}

OutsideEncoderCalls OutsideLibraryCalls(const char* ogg, const char* vqf, const char* wma) {
  using OggEncode = int32_t (*)(const char*, const char*, int32_t, int32_t, ProgressCallback, int16_t*);
  using VqfEncode = int32_t (*)(const char*, const char*, int32_t, int32_t, ProgressCallback*, int16_t*);
  using WmaEncode = int32_t (*)(const char*, const char*, uint8_t, ProgressCallback, int16_t*);
  // One loaded library per name for the program's lifetime, as a declared library stays loaded.
  auto library = [](const std::string& name) -> SharedLibrary& {
    static std::map<std::string, std::unique_ptr<SharedLibrary>> loaded;
    auto& slot = loaded[name];
    if (!slot) slot = std::make_unique<SharedLibrary>(name);
    return *slot;
  };
  OutsideEncoderCalls calls;
  calls.Ogg = [&lib = library(ogg)](const std::string& src, const std::string& dst, int32_t level) {
    auto fn = lib.function<OggEncode>("OGGEncode");
    return GuardedCall(
        [&] { return fn(src.c_str(), dst.c_str(), 44100, level, &OggEncodeProgress, &CancelConvert); });
  };
  calls.Vqf = [&lib = library(vqf)](const std::string& src, const std::string& dst, int32_t bitrate) {
    auto fn = lib.function<VqfEncode>("VQFEncode");
    ProgressCallback cell = &VqfEncodeProgress;  // the library takes the address of a cell
    return GuardedCall([&] { return fn(src.c_str(), dst.c_str(), 44, bitrate, &cell, &CancelConvert); });
  };
  calls.Wma = [&lib = library(wma)](const std::string& src, const std::string& dst, uint8_t profile) {
    auto fn = lib.function<WmaEncode>("WMAEncode");
    return GuardedCall([&] { return fn(src.c_str(), dst.c_str(), profile, &WmaProgress, &CancelConvert); });
  };
  return calls;
}

WaveToAllJob::WaveToAllJob(WaveToAllView& view, Mp3EncoderCalls mp3, OutsideEncoderCalls outside)
    : view_(view), mp3_(std::move(mp3)), outside_(std::move(outside)) {
  gActive = this;
}

WaveToAllJob::~WaveToAllJob() {
  if (gActive == this) gActive = nullptr;
}

WaveToAllJob* WaveToAllJob::Active() { return gActive; }

void WaveToAllJob::Load() {
  CancelConvert = 0;
  totalcolor = filecolor = kBarColor;
  view_.SetStatus(QString(), kStatusColor);
  view_.DrawFileBar(0, filecolor);
  view_.DrawTotalBar(0, totalcolor);
  view_.ShowRow(QStringLiteral("Total ") + QString::number(view_.RowCount()) +
                    QStringLiteral(" files,ready for converting..."),
                QString(), QString());
}

int16_t WaveToAllJob::totalPercent(int16_t percent) {
  const int n = std::max(1, view_.RowCount());
  const int16_t share = CInt(1.0 / n * 100);
  const int16_t base = CInt(static_cast<double>(currentfile - 1) / n * 100);
  const int16_t product = static_cast<int16_t>(percent * share);
  return CInt(product / 100.0 + base);
}

int16_t WaveToAllJob::EncodeProgress(int16_t percent) {
  view_.DrawFileBar(percent, filecolor);
  view_.DrawTotalBar(totalPercent(percent), filecolor);
  view_.Yield();
  return 0;
}

void WaveToAllJob::ConvertAllFiles() {
  // A failing statement (a cell outside the list, a drawing error) is passed over.
  auto step = [](auto&& fn) {
    try {
      fn();
    } catch (const std::exception&) {
    }
  };
  converting_ = true;
  view_.SetStatus(QString(), kStatusColor);
  view_.SetCancelCaption(QStringLiteral("C&ancel"));
  const int n = view_.RowCount();
  int failedFiles = 0;
  for (int i = 1; i <= n; ++i) {
    currentfile = static_cast<int16_t>(i);
    step([&] { view_.DrawFileBar(0, filecolor); });
    QString source, destination, type;
    step([&] {
      source = view_.Cell(i, kColumnSourcePath);
      destination = view_.Cell(i, kColumnDesPath);
      type = view_.Cell(i, kColumnConvert);
    });
    view_.ShowRow(type, source, destination);

    int answer = vbYes;
    if (QFileInfo::exists(destination) && !view_.OverwriteTicked()) {
      answer = MsgBox(destination + QStringLiteral(" existed, do you want to overwrite it?"),
                      vbYesNoCancel | vbInformation);
      if (answer == vbCancel) {
        CancelConvert = 1;
        break;
      }
    }
    if (answer == vbYes) {
      QString status;
      bool ran = true;
      if (sameFile(source, destination)) {
        // Deleting the destination would delete the source.
        status = QString::fromLatin1(kSameFileText);
      } else {
        std::error_code ec;
        std::filesystem::remove(std::filesystem::path(local8(destination)), ec);
        currentType_ = type;
        if (type == QLatin1String("WAV->VQF"))
          status = EncodeVqfFile(source, destination);
        else if (type == QLatin1String("WAV->MP3"))
          status = EncodeMp3File(source, destination);
        else if (type == QLatin1String("WAV->WMA"))
          status = EncodeWmaFile(source, destination);
        else if (type == QLatin1String("WAV->OGG"))
          status = EncodeOggFile(source, destination);
        else
          ran = false;  // unknown type: the previous row's text stays
      }
      if (ran) view_.SetStatus(status, kStatusColor);
      if (ran && !status.isEmpty()) ++failedFiles;
    }
    if (CancelConvert == 1) break;
    step([&] { view_.DrawFileBar(100, filecolor); });
    step([&] {
      view_.DrawTotalBar(CInt(static_cast<double>(i) / std::max(1, view_.RowCount()) * 100), totalcolor);
    });
  }
  converting_ = false;
  if (CancelConvert == 1) {
    view_.CloseWindow();
  } else {
    view_.SetStatus(FinishLine(failedFiles), failedFiles > 0 ? kFailedColor : kFinishedColor);
    view_.SetCancelCaption(QStringLiteral("&OK"));
  }
}

void WaveToAllJob::CancelClicked() {
  if (!converting_) {
    view_.CloseWindow();
  } else if (currentType_ == QLatin1String("WAV->OGG") || currentType_ == QLatin1String("WAV->VQF") ||
             currentType_ == QLatin1String("WAV->WMA")) {
    CancelConvert = MsgBox(kStopQuestion, vbYesNo | vbInformation) == vbYes ? 1 : 0;
  } else if (currentType_ == QLatin1String("WAV->MP3")) {
    CancelConvert = 1;  // the encode loop asks at its next chunk
  }
}

QString WaveToAllJob::EncodeMp3File(const QString& source, const QString& destination) {
  try {
    return encodeMp3(source, destination);
  } catch (const RuntimeError& error) {
    return mp3Failed(error);
  } catch (const std::bad_alloc&) {
    return mp3Failed(RuntimeError(errOutOfMemory));
  }
}

QString WaveToAllJob::mp3Failed(const RuntimeError& error) {
  // Buffers and files were released on the way out.
  MsgBox(error.description(), vbCritical);
  if (error.number() != 0) ShowRuntimeError(error);
  return error.description();
}

QString WaveToAllJob::encodeMp3(const QString& source, const QString& destination) {
  // The source is only ever read: its contents and attributes stay as they are.
  modWAV::WavHeader header{};
  modWAV::WavLayout layout;
  modWAV::ReadWavHeader(local8(source), header, layout);
  if (!QFileInfo::exists(source)) return QString::fromLatin1(kSourceOpenText);
  if (!modWAV::IsPcm16(header, layout)) return QString::fromLatin1(kNotPcm16Text);
  if (header.Channels > 2) return QString::fromLatin1(kChannelsText);

  EncoderConfig config = MakeEncoderConfig(view_.Options(), header.SampleRate);
  const int channels = header.Channels;
  // A mono source is encoded as mono; a stereo source in mono mode is mixed down here,
  // as the encoder takes one channel per chunk in mono mode.
  if (channels == 1) config.mode = BE_MP3_MODE_MONO;
  const bool downmix = channels == 2 && config.mode == BE_MP3_MODE_MONO;

  clsFileIo in;
  if (in.OpenFileReadOnly(local8(source)) != clsFileIo::kTrue) return QString::fromLatin1(kSourceOpenText);

  uint32_t samplesPerChunk = 0, outputSize = 0, stream = 0;
  const int32_t initResult = mp3_.Init(&config, &samplesPerChunk, &outputSize, &stream);
  if (initResult != BE_ERR_SUCCESSFUL)
    throw RuntimeError(initResult, kEncoderSource, EncoderErrorText(initResult));
  // The stream is closed however this routine is left.
  struct StreamCloser {
    Mp3EncoderCalls& calls;
    uint32_t handle;
    ~StreamCloser() {
      try {
        calls.Close(handle);
      } catch (...) {
      }
    }
  } closer{mp3_, stream};

  clsFileIo out;
  if (out.OpenFile(local8(destination)) != clsFileIo::kTrue)
    return QString::fromLatin1(kDestinationCreateText);

  // Whole sample frames only: a stray odd byte at the end is not a sample.
  const int64_t blockAlign = 2 * channels;
  const int64_t total = layout.DataBytes / blockAlign * blockAlign;
  // Bytes read per chunk: one chunk of the encoder's input, two source channels when mixing down.
  const int64_t chunkBytes = static_cast<int64_t>(samplesPerChunk) * 2 * (downmix ? 2 : 1);
  // The two buffers; their size does not depend on the file's.
  std::vector<int16_t> input(static_cast<size_t>(chunkBytes / 2), 0);
  std::vector<uint8_t> output(outputSize, 0);

  // Pass over everything before the samples (the header and any chunks before "data").
  {
    int64_t skip = layout.DataOffset;
    std::vector<uint8_t>& scratch = output;  // the output buffer is free yet
    while (skip > 0) {
      const int32_t n = static_cast<int32_t>(std::min<int64_t>(skip, static_cast<int64_t>(scratch.size())));
      if (in.ReadBytes(scratch.data(), n) == 0 || in.LastBytesRead() != n)
        return QString::fromLatin1(kSourceOpenText);
      skip -= n;
    }
  }

  bool writeFailed = false;
  auto write = [&](uint32_t produced) {
    if (produced >= 1 && out.WriteBytes(output.data(), static_cast<int32_t>(produced)) != clsFileIo::kTrue)
      writeFailed = true;
  };

  int64_t done = 0;
  int16_t lastFile = -1, lastTotal = -1;
  auto lastYield = std::chrono::steady_clock::now();
  while (done < total && !writeFailed) {
    const int64_t count = done + chunkBytes < total ? chunkBytes : total - done;
    if (in.ReadBytes(input.data(), static_cast<int32_t>(count)) == 0 || in.LastBytesRead() <= 0) break;
    const int64_t got = in.LastBytesRead() / blockAlign * blockAlign;  // short only if the file shrank
    done += count;
    uint32_t samples = static_cast<uint32_t>(got / 2);
    if (downmix) {
      for (uint32_t i = 0; i < samples / 2; ++i)
        input[i] = static_cast<int16_t>((static_cast<int32_t>(input[2 * i]) + input[2 * i + 1]) >> 1);
      samples /= 2;
    }
    uint32_t produced = 0;
    const int32_t result = mp3_.Encode(stream, samples, input.data(), output.data(), &produced);
    if (result != BE_ERR_SUCCESSFUL) throw RuntimeError(result, kEncoderSource, EncoderErrorText(result));
    write(produced);
    if (got < count) done = total;  // the file ended early

    const int16_t p = CInt(static_cast<double>(done) / static_cast<double>(total) * 100);
    const int16_t t = totalPercent(p);
    bool drawn = false;
    if (p != lastFile) {
      view_.DrawFileBar(p, filecolor);
      lastFile = p;
      drawn = true;
    }
    if (t != lastTotal) {
      view_.DrawTotalBar(t, filecolor);
      lastTotal = t;
      drawn = true;
    }
    if (CancelConvert == 1) {
      if (MsgBox(kStopQuestion, vbYesNo | vbInformation) == vbYes) break;
      CancelConvert = 0;
    }
    // A chunk takes well under a millisecond: the event loop runs after each redraw and
    // otherwise every few milliseconds, which keeps Cancel prompt at a fraction of the cost.
    const auto now = std::chrono::steady_clock::now();
    if (drawn || now - lastYield >= kYieldInterval) {
      view_.Yield();
      lastYield = now;
    }
  }

  // The final frames complete the file, also after a stop.
  uint32_t produced = 0;
  const int32_t result = mp3_.Deinit(stream, output.data(), &produced);
  if (result == BE_ERR_SUCCESSFUL) write(produced);
  out.FlushBuffers();
  const bool closed = out.CloseFile() == clsFileIo::kTrue;
  in.CloseFile();
  if (writeFailed || !closed) return QString::fromLatin1(kDestinationWriteText);
  if (result != BE_ERR_SUCCESSFUL) throw RuntimeError(result, kEncoderSource, EncoderErrorText(result));
  return QString();
}

QString WaveToAllJob::EncodeOggFile(const QString& source, const QString& destination) {
  try {
    outside_.Ogg(local8(source), local8(destination), OggLevelAt(view_.Options().OggBitrate));
  } catch (const RuntimeError& error) {
    ShowRuntimeError(error);
  }
  return QString();
}

QString WaveToAllJob::EncodeVqfFile(const QString& source, const QString& destination) {
  try {
    outside_.Vqf(local8(source), local8(destination), VqfBitrateAt(view_.Options().VqfBitrate));
  } catch (const RuntimeError& error) {
    ShowRuntimeError(error);
  }
  return QString();
}

QString WaveToAllJob::EncodeWmaFile(const QString& source, const QString& destination) {
  try {
    outside_.Wma(local8(source), local8(destination), WmaProfileAt(view_.Options().WmaBitrate));
  } catch (const RuntimeError& error) {
    ShowRuntimeError(error);
  }
  return QString();
}

}  // namespace sv

extern "C" {
int16_t OggEncodeProgress(int16_t percent) { return sv::encodeProgress(percent); }
int16_t VqfEncodeProgress(int16_t percent) { return sv::encodeProgress(percent); }
int16_t WmaProgress(int16_t percent) { return sv::encodeProgress(percent); }
}
