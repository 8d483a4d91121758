// Burning a 74-minute list of MP3s to a disc image through the CD-writer control, as the
// program loads it, against `mpg123 -q -w` decoding the same files to WAV: processor time of
// both in the same run, and the longest pause of the interface thread during the burn.
//
//   burn_bench [folder] [rounds] [window]
//
// With "window" the burn goes through the burn window (offscreen, its success box answered),
// as a person starts it with Burn Now: the window's texts and bars are drawn for every event.
//
// The folder keeps the MP3s (made with LAME on first use: one song of 4:56, copied to fifteen
// tracks) and takes the images, which are removed after each round.
#include "CDWriterControl.h"
#include "child_cpu.h"
#include "frmCDBurner.h"
#include "music_mp3.h"
#include "platform/msgbox.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kSongSeconds = 296;  // 15 of them: 74:00
constexpr int kTracks = 15;

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Fifteen copies of one song: 74 minutes.
std::vector<fs::path> MakeList(const fs::path& folder) {
  fs::create_directories(folder);
  const fs::path song = folder / "song.mp3";
  if (!fs::exists(song)) {
    std::printf("encoding %s (%d s) ...\n", song.c_str(), kSongSeconds);
    if (!bench::EncodeMusicMp3(song, kSongSeconds, 192)) return {};
  }
  std::vector<fs::path> list;
  for (int i = 0; i < kTracks; ++i) {
    const fs::path track = folder / ("track" + std::to_string(i + 1) + ".mp3");
    if (!fs::exists(track)) fs::copy_file(song, track);
    list.push_back(track);
  }
  return list;
}

struct BurnFigures {
  double cpu = -1;
  double seconds = 0;
  qint64 addingMs = 0;  // the window adds the tracks before the write starts
  qint64 longestPauseMs = 0;
};

BurnFigures BurnToImage(const std::vector<fs::path>& list) {
  BurnFigures f;
  sv::CDWriterControl control;
  QString last;
  QEventLoop loop;
  QObject::connect(&control, &sv::CDWriterControl::Event, [&](const QString& name, const QVariantList&) {
    last = name;
    if (name == "WritingComplete" || name == "WriteError" || name == "TrackFileError") loop.quit();
  });
  // The interface thread's ticks: their longest gap is how long a click would wait.
  QElapsedTimer tick;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout,
                   [&] { f.longestPauseMs = std::max(f.longestPauseMs, tick.restart()); });
  const short image = static_cast<short>(control.Get(24).toInt() - 1);
  QElapsedTimer wall;
  wall.start();
  const double start = ProcessCpuSeconds();
  if (!control.Call(28, {QVariant::fromValue(image)}).toBool()) return f;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (!control.Call(67, {QString::fromStdString(list[i].string()), QVariant::fromValue(short(i + 1))})
             .toBool())
      return f;
  control.Call(68);
  f.addingMs = wall.elapsed();
  tick.start();
  timer.start();
  if (!control.Call(34).toBool()) return f;
  loop.exec();
  timer.stop();
  f.seconds = double(wall.elapsed()) / 1000.0;
  if (last == "WritingComplete") f.cpu = ProcessCpuSeconds() - start;
  const QString cue = control.Get(101).toString();
  fs::remove(cue.toStdString());
  fs::remove((cue.chopped(4) + ".bin").toStdString());
  return f;
}

// The same through the burn window.
BurnFigures BurnThroughWindow(const std::vector<fs::path>& list) {
  BurnFigures f;
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  QStringList files;
  for (const fs::path& p : list) files << QString::fromStdString(p.string());
  sv::frmCDBurner window(nullptr, [&] { return files; });
  window.ComboCDWrite->setCurrentIndex(window.ComboCDWrite->count() - 1);  // the image writer
  window.show();
  QEventLoop loop;
  window.Job().Ended = [&](const QString&) { loop.quit(); };
  QElapsedTimer tick;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout,
                   [&] { f.longestPauseMs = std::max(f.longestPauseMs, tick.restart()); });
  QElapsedTimer wall;
  wall.start();
  const double start = ProcessCpuSeconds();
  window.cmdStart_Click();  // adds the tracks, lays out the disc and starts the write
  f.addingMs = wall.elapsed();
  if (!window.Job().Outcome().isEmpty() || window.cmdStart->isEnabled()) return f;
  tick.start();
  timer.start();
  loop.exec();
  timer.stop();
  f.seconds = double(wall.elapsed()) / 1000.0;
  if (window.Job().Outcome() == "WritingComplete") f.cpu = ProcessCpuSeconds() - start;
  const QString cue = window.Job().Control().Get(101).toString();
  fs::remove(cue.toStdString());
  fs::remove((cue.chopped(4) + ".bin").toStdString());
  return f;
}

double Mpg123(const std::vector<fs::path>& list, const fs::path& folder) {
  double cpu = 0;
  for (const fs::path& mp3 : list) {
    const double one =
        bench::ChildCpuSeconds({"mpg123", "-q", "-w", (folder / "mpg123.wav").string(), mp3.string()});
    if (one < 0) return -1;
    cpu += one;
  }
  fs::remove(folder / "mpg123.wav");
  return cpu;
}

}  // namespace

int main(int argc, char** argv) {
  const bool throughWindow = argc > 3 && std::string(argv[3]) == "window";
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const fs::path folder = fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::path("burn_bench_input"));
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const auto list = MakeList(folder);
  if (list.empty()) {
    std::fprintf(stderr, "could not make the MP3s in %s\n", folder.c_str());
    return 1;
  }
  setenv("SONVERA_DISC_DIR", (folder / "discs").c_str(), 1);
  setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
  setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
  double bestOurs = 1e9, bestTheirs = 1e9;
  qint64 pause = 0;
  for (int r = 0; r < rounds; ++r) {
    const BurnFigures ours = throughWindow ? BurnThroughWindow(list) : BurnToImage(list);
    const double theirs = Mpg123(list, folder);
    if (ours.cpu < 0 || theirs < 0) {
      std::fprintf(stderr, "round %d failed (burn %.3f, mpg123 %.3f)\n", r + 1, ours.cpu, theirs);
      return 1;
    }
    std::printf(
        "round %d: burn to image %.2f s CPU (%.1f s, adding the tracks %lld ms), mpg123 %.2f s CPU, ratio "
        "%.3f; "
        "longest pause of the interface thread while writing %lld ms\n",
        r + 1, ours.cpu, ours.seconds, static_cast<long long>(ours.addingMs), theirs, ours.cpu / theirs,
        static_cast<long long>(ours.longestPauseMs));
    bestOurs = std::min(bestOurs, ours.cpu);
    bestTheirs = std::min(bestTheirs, theirs);
    pause = std::max(pause, ours.longestPauseMs);
  }
  std::printf(
      "%d tracks, 74:00 of MP3 at 192 kbit/s, %s. Best of %d: burn %.2f s, mpg123 %.2f s CPU, ratio %.3f "
      "(target at most 1.10); longest pause of the interface thread while writing %lld ms\n",
      kTracks, throughWindow ? "through the burn window" : "through the control", rounds, bestOurs,
      bestTheirs, bestOurs / bestTheirs, static_cast<long long>(pause));
  return 0;
}
