// sonvera-convert on a folder of WAVs to MP3: wall time with -j 2 against -j 1, and processor
// time with -j 1 against Debian's lame on the same files at the same settings (128 kbit/s,
// joint stereo, quality 5: the page's defaults). Run by hand, never by ctest.
//
//   cli_bench [files=20] [seconds=300] [rounds=1] [lame=/usr/bin/lame]
//
// Each round runs lame, -j 1 and -j 2 in a rotated order; the ratios are within a round.
//
// Targets: -j 2 wall <= 0.55 x -j 1 wall on two cores; -j 1 processor time <= 1.05 x lame's.
#include "child_cpu.h"
#include "music_signal.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Cost {
  double wall = 0;
  double cpu = 0;
};

// Wall and processor time of a child (with the processes it waited for: the workers).
Cost run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return {-1, -1};
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return {-1, -1};
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) * 1e-6 +
                     double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) * 1e-6;
  return {wall, cpu};
}

std::string programFolder() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? fs::path(std::string(path, static_cast<std::size_t>(n))).parent_path().string() : ".";
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 20;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 300;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 1;
  const std::string lame = argc > 4 ? argv[4] : "/usr/bin/lame";
  const std::string cli = programFolder() + "/sonvera-convert";

  const fs::path dir =
      fs::temp_directory_path() / ("cli_bench_" + std::to_string(files) + "x" + std::to_string(seconds));
  const fs::path in = dir / "wav";
  fs::create_directories(in);
  for (int i = 0; i < files; ++i) {
    const fs::path wav = in / ("song" + std::to_string(100 + i).substr(1) + ".wav");
    if (!fs::exists(wav)) bench::WriteMusicWav(wav.string(), seconds);
  }
  std::printf("%d WAVs of %d s in %s\n", files, seconds, in.c_str());

  // The load of a shared machine drifts: each round runs the three in a rotated order, and the
  // ratios are taken within a round (the median of the rounds is reported).
  std::vector<double> wallRatios, cpuRatios;
  for (int round = 0; round < rounds; ++round) {
    Cost lameCost, one, two;
    for (int k = 0; k < 3; ++k) {
      switch ((round + k) % 3) {
        case 0:
          fs::create_directories(dir / "lame");
          lameCost = {};
          for (const auto& entry : fs::directory_iterator(in)) {
            const Cost c =
                run({lame, "--quiet", "-b", "128", "-m", "j", "-q", "5", "-t", "--noreplaygain",
                     entry.path().string(), (dir / "lame" / entry.path().stem()).string() + ".mp3"});
            if (c.cpu < 0) {
              std::fprintf(stderr, "could not run %s\n", lame.c_str());
              return 1;
            }
            lameCost.wall += c.wall;
            lameCost.cpu += c.cpu;
          }
          break;
        case 1:
          one = run({cli, "-q", "-y", "-j", "1", "-f", "mp3", "-o", (dir / "one").string(), in.string()});
          break;
        case 2:
          two = run({cli, "-q", "-y", "-j", "2", "-f", "mp3", "-o", (dir / "two").string(), in.string()});
          break;
      }
    }
    if (one.cpu < 0 || two.cpu < 0) {
      std::fprintf(stderr, "could not run %s\n", cli.c_str());
      return 1;
    }
    std::printf("round %d: lame %.2f s CPU; -j 1 %.2f s wall %.2f s CPU; -j 2 %.2f s wall %.2f s CPU\n",
                round + 1, lameCost.cpu, one.wall, one.cpu, two.wall, two.cpu);
    wallRatios.push_back(two.wall / one.wall);
    cpuRatios.push_back(one.cpu / lameCost.cpu);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  std::printf("-j 2 wall / -j 1 wall   %.3f  (median of %d rounds; target <= 0.55)\n", median(wallRatios),
              rounds);
  std::printf("-j 1 CPU / lame CPU     %.3f  (median of %d rounds; target <= 1.05)\n", median(cpuRatios),
              rounds);
  // The same bytes as lame's at these settings.
  int same = 0;
  for (const auto& entry : fs::directory_iterator(dir / "lame")) {
    const fs::path ours = dir / "one" / entry.path().filename();
    same += fs::exists(ours) && fs::file_size(ours) == fs::file_size(entry.path());
  }
  std::printf("files the size of lame's: %d of %d\n", same, files);
  return 0;
}
