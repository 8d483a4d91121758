// Speed and memory of the whole-file codec calls: OGGEncode against `oggenc -q 2`, OGGDecode
// against `oggdec`, WMAEncode against `ffmpeg -c:a wmav2 -b:a 96k` and WMADecode against
// ffmpeg decoding to WAV, all on the same 5-minute stereo WAV (or its encoding) in one run.
// Our calls run in a child process as the tools do, so processor time (user + system, best
// of N alternating runs) and peak memory are measured the same way for both. Memory must not
// grow with the file: each call is also run on a 30-second file and the peaks compared.
//
//   codec_bench [runs=3] [seconds=300]
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "child_cpu.h"
#include "music_signal.h"
#include "svcodec.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

struct Usage {
  double cpu = -1;  // seconds, -1 when the run failed
  long peakKb = 0;
};

// Runs `work` in a child process; its processor time and peak resident size.
Usage inChild(const std::function<bool()>& work) {
  const pid_t pid = fork();
  if (pid == 0) _exit(work() ? 0 : 1);
  int status = 0;
  rusage u{};
  if (pid < 0 || wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return {};
  return {double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) * 1e-6 + double(u.ru_stime.tv_sec) +
              double(u.ru_stime.tv_usec) * 1e-6,
          u.ru_maxrss};
}

struct Library {
  OGGEncodeProc oggEncode = nullptr;
  OGGDecodeProc oggDecode = nullptr;
  WMAEncodeProc wmaEncode = nullptr;
  WMADecodeProc wmaDecode = nullptr;
  bool Load() {
    void* ogg = dlopen(SVOGG_LIBRARY, RTLD_NOW);
    void* wma = dlopen(SVWMA_LIBRARY, RTLD_NOW);
    if (!ogg || !wma) return false;
    oggEncode = reinterpret_cast<OGGEncodeProc>(dlsym(ogg, "OGGEncode"));
    oggDecode = reinterpret_cast<OGGDecodeProc>(dlsym(ogg, "OGGDecode"));
    wmaEncode = reinterpret_cast<WMAEncodeProc>(dlsym(wma, "WMAEncode"));
    wmaDecode = reinterpret_cast<WMADecodeProc>(dlsym(wma, "WMADecode"));
    return oggEncode && oggDecode && wmaEncode && wmaDecode;
  }
};

int16_t quietProgress(int16_t) { return 0; }

struct Case {
  const char* name;
  const char* reference;
  // Our call and the reference tool on an input of the given length.
  std::function<bool(const std::string& wav, const std::string& encoded)> ours;
  std::function<std::vector<std::string>(const std::string& wav, const std::string& encoded)> tool;
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int seconds = argc > 2 ? std::max(30, std::atoi(argv[2])) : 300;
  Library lib;
  if (!lib.Load()) {
    std::fprintf(stderr, "cannot load %s or %s\n", SVOGG_LIBRARY, SVWMA_LIBRARY);
    return 1;
  }
  const fs::path dir = fs::temp_directory_path() / ("sonvera-codec-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  auto at = [&](const std::string& name) { return (dir / name).string(); };
  const std::string longWav = at("long.wav"), shortWav = at("short.wav");
  bench::WriteMusicWav(longWav, seconds);
  bench::WriteMusicWav(shortWav, 30);
  // The decoders' inputs: our own encodings of each WAV.
  int16_t cancel = 0;
  for (const std::string& w : {longWav, shortWav}) {
    if (lib.oggEncode(w.c_str(), (w + ".ogg").c_str(), kRate, 2, nullptr, &cancel) != SVC_OK ||
        lib.wmaEncode(w.c_str(), (w + ".wma").c_str(), 23, nullptr, &cancel) != SVC_OK) {
      std::fprintf(stderr, "could not make the encoded inputs\n");
      return 1;
    }
  }
  const std::string out = at("out"), toolOut = at("tool-out");

  const std::vector<Case> cases = {
      {"OGGEncode level 2", "oggenc -q 2",
       [&](const std::string& wav, const std::string&) {
         return lib.oggEncode(wav.c_str(), (out + ".ogg").c_str(), kRate, 2, &quietProgress, &cancel) ==
                SVC_OK;
       },
       [&](const std::string& wav, const std::string&) {
         return std::vector<std::string>{"oggenc", "-Q", "-q", "2", "-o", toolOut + ".ogg", wav};
       }},
      {"OGGDecode", "oggdec",
       [&](const std::string& wav, const std::string&) {
         return lib.oggDecode((wav + ".ogg").c_str(), (out + ".wav").c_str(), &quietProgress, &cancel) ==
                SVC_OK;
       },
       [&](const std::string& wav, const std::string&) {
         return std::vector<std::string>{"oggdec", "-Q", "-o", toolOut + ".wav", wav + ".ogg"};
       }},
      {"WMAEncode profile 23", "ffmpeg -c:a wmav2 -b:a 96k",
       [&](const std::string& wav, const std::string&) {
         return lib.wmaEncode(wav.c_str(), (out + ".wma").c_str(), 23, &quietProgress, &cancel) == SVC_OK;
       },
       [&](const std::string& wav, const std::string&) {
         return std::vector<std::string>{"ffmpeg", "-v",  "error",         "-y", "-i", wav, "-c:a", "wmav2",
                                         "-b:a",   "96k", toolOut + ".wma"};
       }},
      {"WMADecode", "ffmpeg to WAV",
       [&](const std::string& wav, const std::string&) {
         return lib.wmaDecode((wav + ".wma").c_str(), (out + ".wav").c_str(), &quietProgress, &cancel) ==
                SVC_OK;
       },
       [&](const std::string& wav, const std::string&) {
         return std::vector<std::string>{"ffmpeg", "-v", "error", "-y", "-i", wav + ".wma", toolOut + ".wav"};
       }},
  };

  std::printf("input      %d s stereo 16-bit %d Hz (memory also on 30 s), best of %d runs\n", seconds, kRate,
              runs);
  std::printf("%-22s %9s %9s %7s %7s   %s\n", "call", "ours s", "tool s", "ratio", "target",
              "peak kB 30 s / long");
  bool allMet = true;
  for (const Case& c : cases) {
    double best = 1e9, bestTool = 1e9;
    long peakLong = 0;
    for (int i = 0; i < runs; ++i) {  // alternate, so both see the same machine load
      const Usage u = inChild([&] { return c.ours(longWav, ""); });
      const double t = bench::ChildCpuSeconds(c.tool(longWav, ""));
      if (u.cpu < 0 || t < 0) {
        std::fprintf(stderr, "%s or %s failed\n", c.name, c.reference);
        return 1;
      }
      best = std::min(best, u.cpu);
      bestTool = std::min(bestTool, t);
      peakLong = std::max(peakLong, u.peakKb);
    }
    const Usage small = inChild([&] { return c.ours(shortWav, ""); });
    const double ratio = best / bestTool;
    allMet = allMet && ratio <= 1.05;
    std::printf("%-22s %9.3f %9.3f %7.3f %7s   %ld / %ld (%s)\n", c.name, best, bestTool, ratio,
                ratio <= 1.05 ? "met" : "MISSED", small.peakKb, peakLong,
                peakLong - small.peakKb < 2048 ? "flat" : "GROWS");
    std::printf("%-22s against %s\n", "", c.reference);
  }
  fs::remove_all(dir);
  return allMet ? 0 : 2;
}
