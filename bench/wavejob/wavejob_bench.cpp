// Speed and memory of the WAV-to-MP3 job: a 5-minute stereo WAV at 128 kbit/s through the job's
// status window (headless, bars drawn, event loop run as the job runs it), against Debian's lame
// program on the same file with the same settings (joint stereo, quality 5 as the "Normal" preset
// gives), in the same run. Processor time of N alternating runs: the best of each, and the median
// ratio of neighbouring runs. Memory: the peak resident size must not grow between a 30-second
// and the 5-minute file, as the step keeps its buffers whatever the file's size.
//
//   wavejob_bench [runs=5] [lame program=/usr/bin/lame]
#include "child_cpu.h"
#include "frmWaveToAllStatus.h"
#include "grid/job_grid.h"
#include "music_signal.h"
#include "shell/core/globals.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

double cpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

long peakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void put32(std::ofstream& out, uint32_t v) {
  const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
  out.write(b, 4);
}

// Music-like stereo signal, written block by block so that making it costs no memory.
void writeWav(const std::string& path, int seconds) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const uint32_t frames = static_cast<uint32_t>(seconds) * kRate;
  out.write("RIFF", 4);
  put32(out, 36 + frames * 4);
  out.write("WAVEfmt ", 8);
  put32(out, 16);
  const char fmt[] = {1, 0, 2, 0};
  out.write(fmt, 4);
  put32(out, kRate);
  put32(out, kRate * 4);
  const char align[] = {4, 0, 16, 0};
  out.write(align, 4);
  out.write("data", 4);
  put32(out, frames * 4);
  bench::MusicSignal signal(kRate);
  std::vector<int16_t> block(2 * 4410);
  for (uint32_t done = 0; done < frames;) {
    const uint32_t n = std::min<uint32_t>(4410, frames - done);
    signal.Fill(block.data(), static_cast<uint32_t>(n));
    out.write(reinterpret_cast<const char*>(block.data()), n * 4);
    done += n;
  }
}

// One row through the real status window, as the page's Start opens it with its defaults.
bool runJob(const std::string& wav, const std::string& mp3) {
  fs::remove(mp3);
  grid::JobGrid list;
  for (const char* h : {"Source File", "Destination File", "Convert", "SourcePath", "DesPath"})
    list.AddColumn(QString::fromLatin1(h), 100, 0, true);
  list.AddRow(QString::fromStdString(wav));
  list.SetCellText(1, 3, QStringLiteral("WAV->MP3"));
  list.SetCellText(1, 4, QString::fromStdString(wav));
  list.SetCellText(1, 5, QString::fromStdString(mp3));
  sv::frmWaveToAllStatus window(
      list, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
  window.show();
  window.cmdStart_Click();
  const bool ok = window.labelStatus->text() == QStringLiteral("Finish Converting!") && fs::exists(mp3);
  if (!ok) std::fprintf(stderr, "job: %s\n", window.labelStatus->text().toLocal8Bit().constData());
  return ok;
}

double runLame(const std::string& lame, const std::string& wav, const std::string& mp3) {
  return bench::ChildCpuSeconds(
      {lame, "--quiet", "-b", "128", "-m", "j", "-q", "5", "-t", "--noreplaygain", wav, mp3});
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string lame = argc > 2 ? argv[2] : "/usr/bin/lame";
  const fs::path dir = fs::temp_directory_path() / ("sonvera-wavejob-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string shortWav = (dir / "short.wav").string();
  const std::string wav = (dir / "in.wav").string();
  const std::string ours = (dir / "job.mp3").string();
  const std::string theirs = (dir / "lame.mp3").string();
  writeWav(shortWav, 30);
  writeWav(wav, 300);

  sv::WaveToAllOutputDir = QString::fromStdString(dir.string());
  if (!runJob(shortWav, ours)) return 1;
  const long peakShort = peakKb();

  double best = 1e9, bestLame = 1e9;
  std::vector<double> paired;
  for (int i = 0; i < runs; ++i) {  // alternate, so both see the same machine load
    const double t0 = cpuNow();
    if (!runJob(wav, ours)) return 1;
    const double job = cpuNow() - t0;
    const double t = runLame(lame, wav, theirs);
    if (t < 0) {
      std::fprintf(stderr, "could not run %s\n", lame.c_str());
      return 1;
    }
    best = std::min(best, job);
    bestLame = std::min(bestLame, t);
    paired.push_back(job / t);
  }
  // On a shared machine the load drifts: the ratio of each job run to the lame run next to
  // it, and their median, is steadier than either best time alone.
  std::sort(paired.begin(), paired.end());
  const double median = paired[paired.size() / 2];
  const long peakLong = peakKb();
  const double ratio = median;
  std::printf("input          300 s stereo 16-bit %d Hz, %ju bytes; 128 kbit/s joint stereo, quality 5\n",
              kRate, static_cast<uintmax_t>(fs::file_size(wav)));
  std::printf("job            %.3f s CPU (best of %d), %ju bytes of MP3\n", best, runs,
              static_cast<uintmax_t>(fs::file_size(ours)));
  std::printf("lame program   %.3f s CPU (best of %d), %ju bytes of MP3\n", bestLame, runs,
              static_cast<uintmax_t>(fs::file_size(theirs)));
  std::printf("ratio          %.3f of the best times; %.3f median of %d paired runs (target <= 1.05: %s)\n",
              best / bestLame, ratio, runs, ratio <= 1.05 ? "met" : "missed");
  std::printf("peak memory    %ld KiB after 30 s, %ld KiB after 300 s (growth %ld KiB)\n", peakShort,
              peakLong, peakLong - peakShort);
  fs::remove_all(dir);
  return ratio <= 1.05 ? 0 : 2;
}
