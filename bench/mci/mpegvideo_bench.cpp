// The "mpegvideo" device playing MP3s on the silent sink, as the burn page's preview plays
// them: processor time of the whole process per second of audio played, the time an open
// and a seek take, against `mpg123 -q -w` decoding the same file in the same run.
//
//   mpegvideo_bench [folder] [seconds] [devices] [rounds]
//
// The folder keeps the MP3 (made with LAME on first use: 60 s of the benchmarks' music at
// 192 kbit/s). Each round opens `devices` devices on it, plays them all for `seconds`, then
// seeks each ten times across the file while it plays.
#include "child_cpu.h"
#include "music_mp3.h"
#include "platform/mci.h"
#include "platform/mci_file_devices.h"
#include "platform/pcm_output.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr int kSongSeconds = 60;

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

bool Send(const QString& command, QString* reply = nullptr) {
  const int e = sv::mciSendString(command, reply);
  if (e != 0) std::fprintf(stderr, "\"%s\": error %d\n", qPrintable(command), e);
  return e == 0;
}

void RunEventsFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Figures {
  double openMs = 0;         // wall time of one open, length included
  double playCpu = -1;       // process CPU seconds while all devices played
  double playedSeconds = 0;  // audio played, all devices together
  double seekMs = 0;         // wall time of one "play from" on a playing device
};

Figures Round(const fs::path& mp3, int seconds, int devices) {
  Figures f;
  const QString file = sv::mci::QuoteName(QString::fromStdString(mp3.string()));
  QElapsedTimer wall;
  wall.start();
  for (int d = 0; d < devices; ++d)
    if (!Send("open " + file + " alias p" + QString::number(d) + " type mpegvideo wait")) return f;
  f.openMs = double(wall.nsecsElapsed()) / 1e6 / devices;
  QString reply;
  Send("status p0 length", &reply);
  const qint64 length = reply.toLongLong();

  const double start = ProcessCpuSeconds();
  for (int d = 0; d < devices; ++d)
    if (!Send("play p" + QString::number(d))) return f;
  RunEventsFor(seconds * 1000);
  f.playCpu = ProcessCpuSeconds() - start;
  for (int d = 0; d < devices; ++d) {
    Send("status p" + QString::number(d) + " position", &reply);
    f.playedSeconds += reply.toDouble() / 1000.0;
  }

  constexpr int kSeeks = 10;
  wall.restart();
  for (int i = 0; i < kSeeks; ++i)
    for (int d = 0; d < devices; ++d)
      Send("play p" + QString::number(d) + " from " + QString::number(length * (i * 7 % 10) / 10));
  f.seekMs = double(wall.nsecsElapsed()) / 1e6 / (kSeeks * devices);
  Send("close all");
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const fs::path folder = fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::path("mpegvideo_bench_input"));
  const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  const int devices = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
  fs::create_directories(folder);
  const fs::path mp3 = folder / "preview.mp3";
  if (!fs::exists(mp3)) {
    std::printf("encoding %s (%d s) ...\n", mp3.c_str(), kSongSeconds);
    if (!bench::EncodeMusicMp3(mp3, kSongSeconds, 192)) return 1;
  }
  sv::PcmOutput::ForceSilent(true);
  sv::mci::RegisterFileDevices();

  double best = 1e9, bestMpg123 = 1e9, openMs = 1e9, seekMs = 1e9;
  for (int r = 0; r < rounds; ++r) {
    const Figures f = Round(mp3, seconds, devices);
    const double theirs =
        bench::ChildCpuSeconds({"mpg123", "-q", "-w", (folder / "mpg123.wav").string(), mp3.string()});
    if (f.playCpu < 0 || f.playedSeconds <= 0 || theirs < 0) {
      std::fprintf(stderr, "round %d failed\n", r + 1);
      return 1;
    }
    const double ours = f.playCpu / f.playedSeconds, ref = theirs / kSongSeconds;
    std::printf(
        "round %d: %d device(s), %.1f s of audio played with %.3f s CPU (%.2f %% of one core): %.2f ms CPU "
        "per "
        "audio second; mpg123 %.2f ms per audio second, ratio %.2f; open %.1f ms, seek while playing %.2f "
        "ms\n",
        r + 1, devices, f.playedSeconds, f.playCpu, 100.0 * f.playCpu / seconds, 1000 * ours, 1000 * ref,
        ours / ref, f.openMs, f.seekMs);
    best = std::min(best, ours);
    bestMpg123 = std::min(bestMpg123, ref);
    openMs = std::min(openMs, f.openMs);
    seekMs = std::min(seekMs, f.seekMs);
  }
  fs::remove(folder / "mpg123.wav");
  std::printf(
      "best of %d: %.2f ms CPU per audio second while playing (%.2f %% of one core per device), mpg123 %.2f "
      "ms, "
      "ratio %.2f; open %.1f ms, seek %.2f ms\n",
      rounds, 1000 * best, 100 * best, 1000 * bestMpg123, best / bestMpg123, openMs, seekMs);
  return 0;
}
