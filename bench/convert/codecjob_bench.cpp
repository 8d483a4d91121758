// Times the codec rows of both conversion jobs through their status windows (bars, yields,
// the stop button's readiness, the library loaded by name) against the bare library call on
// the same file, in turns: OGG, WMA and VQF, encode and decode, on one music-like stereo WAV
// (5 minutes by default) and its encodings. The job's goal: at most 5 % over the bare call.
//
//   codecjob_bench [seconds of audio, default 300] [rounds, default 5] [formats, default OGG,WMA,VQF]
#include "convert/core/outside_codecs.h"
#include "job_driver.h"
#include "jobs/core/job_runner.h"
#include "music_signal.h"
#include "platform/library_loader.h"
#include "svcodec.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

using bench::Timing;

std::int16_t noProgress(std::int16_t) { return 0; }
std::int16_t noVqfProgress(std::int16_t, std::int16_t) { return 0; }

// The bare call of the library the job loads, at the page's default settings.
int bareCall(const QString& type, const QByteArray& source, const QByteArray& destination) {
  std::int16_t cancel = 0;
  const QString format = type.endsWith(QLatin1String("->WAV")) ? type.left(3) : type.right(3);
  sv::SharedLibrary& lib = sv::codecs::Library(format == "OGG"   ? "svogg"
                                               : format == "WMA" ? "svwma"
                                                                 : "svvqf");
  const char* src = source.constData();
  const char* dst = destination.constData();
  if (type == "WAV->OGG")
    return reinterpret_cast<OGGEncodeProc>(lib.symbol("OGGEncode"))(src, dst, 44100, 2, &noProgress, &cancel);
  if (type == "OGG->WAV")
    return reinterpret_cast<OGGDecodeProc>(lib.symbol("OGGDecode"))(src, dst, &noProgress, &cancel);
  if (type == "WAV->WMA")
    return reinterpret_cast<WMAEncodeProc>(lib.symbol("WMAEncode"))(src, dst, 23, &noProgress, &cancel);
  if (type == "WMA->WAV")
    return reinterpret_cast<WMADecodeProc>(lib.symbol("WMADecode"))(src, dst, &noProgress, &cancel);
  if (type == "WAV->VQF") {
    const CodecProgressProc cell = &noProgress;
    return reinterpret_cast<VQFEncodeProc>(lib.symbol("VQFEncode"))(src, dst, 44, 96, &cell, &cancel);
  }
  const VqfDecodeProgressProc cell = &noVqfProgress;
  return reinterpret_cast<VQFDecodeProc>(lib.symbol("VQFDecode"))(src, dst, &cell, &cancel);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
  const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
  const QStringList formats =
      QString::fromLatin1(argc > 3 ? argv[3] : "OGG,WMA,VQF").toUpper().split(',', Qt::SkipEmptyParts);
  QTemporaryDir dir;
  const QString wav = dir.path() + "/music.wav";
  std::printf("writing %d s of stereo music-like audio...\n", seconds);
  bench::WriteMusicWav(wav.toStdString(), seconds);

  std::printf("%d rounds, processor time      bare call   job window   best        paired median\n", rounds);
  bool allSame = true, allDone = true;
  for (const QString& format : formats) {
    const QString encoded = dir.path() + "/music." + format;
    for (const QString& type : {"WAV->" + format, format + "->WAV"}) {
      const bool decoding = type.endsWith(QLatin1String("->WAV"));
      const QString source = decoding ? encoded : wav;
      const QString bareOut = dir.path() + "/bare." + (decoding ? QStringLiteral("wav") : format);
      const QString jobOut = dir.path() + "/job." + (decoding ? QStringLiteral("wav") : format);
      // Load the library and warm the file cache; the encode also makes the decode's source.
      if (bareCall(type, QFile::encodeName(source), QFile::encodeName(decoding ? bareOut : encoded)) !=
          SVC_OK) {
        std::printf("%s: the library failed\n", qPrintable(type));
        return 1;
      }
      bench::BarDraws draws;
      sv::jobs::RowResult result;
      const bench::Paired runs = bench::RunPaired(
          rounds,
          [&] {
            QFile::remove(bareOut);
            return bench::Time(
                [&] { bareCall(type, QFile::encodeName(source), QFile::encodeName(bareOut)); });
          },
          [&] {
            QFile::remove(jobOut);
            return bench::RunJobWindow(type, source, jobOut, &draws, &result);
          });
      const double bare = runs.BestBare(&Timing::cpu), job = runs.BestJob(&Timing::cpu);
      const double bareSystem = runs.BestBare(&Timing::system), jobSystem = runs.BestJob(&Timing::system);
      // Both make the same file; an OGG stream has a random serial number (and so its pages'
      // checksums differ), so there the sizes must agree.
      const bool same = type == "WAV->OGG" ? QFileInfo(bareOut).size() == QFileInfo(jobOut).size()
                                           : bench::ReadAll(bareOut) == bench::ReadAll(jobOut);
      allSame = allSame && same;
      allDone = allDone && !result.failed();
      std::printf(
          "%-8s (%6.1f MB)           %7.3f s   %7.3f s    %+6.2f %%    %+6.2f %%   kernel %.3f/%.3f s  bars "
          "%d/%d%s%s\n",
          qPrintable(type), QFileInfo(source).size() / 1e6, bare, job, (job / bare - 1) * 100,
          (runs.MedianCpuRatio() - 1) * 100, bareSystem, jobSystem, draws.file, draws.total,
          same ? "" : "  OUTPUTS DIFFER", result.failed() ? "  JOB FAILED" : "");
    }
  }
  std::printf("goal: the job at most +5 %% over the bare call (paired median of processor time)\n");
  const double callbackCost = bench::CostInShownWindow(
      2000, [](sv::jobs::RowJobWindow&, int i) { sv::jobs::ReportLibraryProgress(i % 101); });
  std::printf("one progress callback (both bars, the window run): %.1f us\n", callbackCost * 1e6);
  return allSame && allDone ? 0 : 2;
}
