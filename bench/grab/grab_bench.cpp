// Processor time to grab a 74-minute CUE/BIN image through the grabbing window (every track
// checked on page 2, "&Rip Now"), against Debian's tools doing the same work in one run:
//   WAV: cd-paranoia reading every track to WAV files in its default (the same, secure) mode;
//   MP3: that reading plus `lame -b 128` on each WAV, against the job at its default 128 kbit/s.
// Also the longest time the window's event loop waited while the job ran: a click on Cancel is
// answered within that. Makes the image on first use.
// Usage: grab_bench [minutes] [folder]
#include <stdlib.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CDPage.h"
#include "bench_disc.h"
#include "child_cpu.h"
#include "disc_images.h"
#include "frmRipperStatus.h"
#include "jobs/widgets/path_label.h"
#include "platform/mci.h"
#include "platform/mci_cdaudio.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"

namespace fs = std::filesystem;
using namespace sv::discs;

namespace {

double wallSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct JobFigures {
  double cpu = 0, wall = 0;
  double longestWaitMs = 0;  // the longest gap between two runs of the event loop
  QString longestAt;         // where the job was then: the track and its bar
  bool finished = false;
};

// The grab as a user runs it: page 2, every track checked, the format chosen, "&Rip Now".
JobFigures grabThroughWindow(bool wav, const QString& folder) {
  JobFigures f;
  sv::CDPage page;
  page.ClearCDInfo();
  page.InitCDPage();
  for (int i = 0; i < page.listcdtrack->count(); ++i) page.listcdtrack->item(i)->setCheckState(Qt::Checked);
  page.cmdRipperOutputSelectOption_Click(wav ? 1 : 0);
  sv::RipperOutputDir = folder;
  sv::frmRipperStatus window(page);
  window.show();
  QApplication::processEvents();

  // A timer due every millisecond: the gaps between its runs are how long a click would wait.
  QElapsedTimer since;
  QTimer probe;
  probe.setInterval(1);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    if (since.isValid() && since.nsecsElapsed() / 1e6 > f.longestWaitMs) {
      f.longestWaitMs = since.nsecsElapsed() / 1e6;
      f.longestAt = QStringLiteral("%1 at %2 %").arg(window.labelsource->text()).arg(window.FilePercent());
    }
    since.restart();
  });
  probe.start();

  const double c0 = bench::SelfCpuSeconds();
  const auto w0 = std::chrono::steady_clock::now();
  window.cmdStart_Click();
  f.cpu = bench::SelfCpuSeconds() - c0;
  f.wall = wallSince(w0);
  probe.stop();
  f.finished = window.labelStatus->text() == QStringLiteral("Finish Tracks Grab!");
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int minutes = argc > 1 ? std::atoi(argv[1]) : 74;
  const fs::path folder = argc > 2
                              ? fs::path(argv[2])
                              : fs::temp_directory_path() / ("sonvera-grab-bench-" + std::to_string(minutes));
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir config;
  setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);
  sv::mci::RegisterCdAudioDevice();

  const fs::path cue = bench::BenchDisc(minutes, folder, "grab");
  if (cue.empty()) return 1;
  const int total = minutes * 60 * 75;
  sv::ScopedMsgBoxResponder boxes([](const QString& text, const QString&, int) {
    std::fprintf(stderr, "unexpected box: %s\n", text.toLocal8Bit().constData());
    return sv::vbNo;
  });

  QTemporaryDir work(QDir::tempPath() + QStringLiteral("/grab-bench-XXXXXX"));
  const QString oursWav = work.filePath("ours-wav"), oursMp3 = work.filePath("ours-mp3");
  const std::string theirs = work.filePath("paranoia").toStdString();
  fs::create_directories(theirs);

  std::printf("grabbing %d minutes (%d frames, %.0f MB) ...\n", minutes, total, total * 2352.0 / 1e6);
  const JobFigures wav = grabThroughWindow(true, oursWav);
  const auto p0 = std::chrono::steady_clock::now();
  const double paranoia = bench::ChildCpuSeconds(
      {"sh", "-c",
       "cd '" + theirs + "' && exec cd-paranoia -q -d '" + cue.string() + "' -B -- 1- 2>/dev/null"});
  const double paranoiaWall = wallSince(p0);
  const JobFigures mp3 = grabThroughWindow(false, oursMp3);
  double lame = 0;
  for (int t = 1; t <= 10; ++t) {
    char file[32];
    std::snprintf(file, sizeof file, "track%02d.cdda.wav", t);
    const double c = bench::ChildCpuSeconds(
        {"lame", "--quiet", "-b", "128", theirs + "/" + file, theirs + "/" + file + std::string(".mp3")});
    if (c < 0) {
      std::fprintf(stderr, "lame did not run on %s\n", file);
      return 1;
    }
    lame += c;
  }
  if (!wav.finished || !mp3.finished || paranoia < 0) {
    std::fprintf(stderr, "a run did not finish (job WAV %d, job MP3 %d, cd-paranoia %.2f)\n", wav.finished,
                 mp3.finished, paranoia);
    return 1;
  }
  std::printf("job to WAV:                      %7.2f s CPU (%.2f s wall)\n", wav.cpu, wav.wall);
  std::printf("cd-paranoia to WAV:              %7.2f s CPU (%.2f s wall)\n", paranoia, paranoiaWall);
  std::printf("ratio WAV job / cd-paranoia:     %7.3f  (target <= 1.10)\n", wav.cpu / paranoia);
  std::printf("job to MP3 128 kbit/s:           %7.2f s CPU (%.2f s wall)\n", mp3.cpu, mp3.wall);
  std::printf("cd-paranoia + lame -b 128:       %7.2f s CPU (%.2f + %.2f)\n", paranoia + lame, paranoia,
              lame);
  std::printf("ratio MP3 job / (reading + lame): %6.3f  (target <= 1.05)\n", mp3.cpu / (paranoia + lame));
  std::printf(
      "longest wait of the event loop:  %7.1f ms (WAV, %s), %.1f ms (MP3, %s); Cancel is answered within "
      "it\n",
      wav.longestWaitMs, qPrintable(wav.longestAt), mp3.longestWaitMs, qPrintable(mp3.longestAt));
  return 0;
}
