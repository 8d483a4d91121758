// VQF speed and memory: a 5-minute stereo WAV encoded at 96 kbit/s by VQFEncode against
// `lame -b 128` on the same file, and the VQF decoded by VQFDecode against the `ffmpeg`
// program. Each run is a child process, so processor time and peak memory are its own; a
// 1-minute file shows whether memory grows with the length.
//
//   vqf_bench [runs=3] [seconds=300]
#include "child_cpu.h"
#include "music_signal.h"
#include "svvqf.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Usage {
  double cpu = -1;  // seconds
  long peakKb = 0;  // resident set
};

// Runs `work` in a forked child and gives its processor time and peak memory.
Usage InChild(const std::function<int()>& work) {
  const pid_t pid = fork();
  if (pid == 0) _exit(work() == 0 ? 0 : 1);
  int status = 0;
  rusage ru{};
  Usage u;
  if (pid > 0 && wait4(pid, &status, 0, &ru) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    u.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec * 1e-6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec * 1e-6;
    u.peakKb = ru.ru_maxrss;
  }
  return u;
}

void WriteWav(const std::string& path, int seconds) {
  const uint32_t frames = static_cast<uint32_t>(seconds) * 44100;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  auto le32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
  auto le16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
  std::fputs("RIFF", f);
  le32(36 + frames * 4);
  std::fputs("WAVEfmt ", f);
  le32(16);
  le16(1);
  le16(2);
  le32(44100);
  le32(44100 * 4);
  le16(4);
  le16(16);
  std::fputs("data", f);
  le32(frames * 4);
  bench::MusicSignal signal(44100);
  std::vector<int16_t> block(2 * 4410);
  for (uint32_t done = 0; done < frames;) {
    const uint32_t n = std::min<uint32_t>(4410, frames - done);
    signal.Fill(block.data(), n);
    std::fwrite(block.data(), 4, n, f);
    done += n;
  }
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int seconds = argc > 2 ? std::max(10, std::atoi(argv[2])) : 300;
  const fs::path dir = fs::temp_directory_path() / ("sonvera-vqf-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string wav = (dir / "in.wav").string(), shortWav = (dir / "short.wav").string();
  const std::string vqf = (dir / "out.vqf").string(), shortVqf = (dir / "short.vqf").string();
  const std::string back = (dir / "back.wav").string(), mp3 = (dir / "lame.mp3").string();
  WriteWav(wav, seconds);
  WriteWav(shortWav, 60);

  Usage enc{1e9, 0}, dec{1e9, 0}, lame{1e9, 0}, ffmpeg{1e9, 0};
  for (int i = 0; i < runs; ++i) {  // alternate, so both sides see the same machine load
    const Usage e = InChild([&] { return VQFEncode(wav.c_str(), vqf.c_str(), 44, 96, nullptr, nullptr); });
    const double l = bench::ChildCpuSeconds({"lame", "--quiet", "-b", "128", wav, mp3});
    const Usage d = InChild([&] {
      fs::remove(back);
      return VQFDecode(vqf.c_str(), back.c_str(), nullptr, nullptr);
    });
    const double f = bench::ChildCpuSeconds({"ffmpeg", "-v", "quiet", "-y", "-i", vqf, "-f", "wav", back});
    if (e.cpu < 0 || d.cpu < 0 || l < 0 || f < 0) {
      std::fprintf(stderr, "a run failed (encode %.2f, lame %.2f, decode %.2f, ffmpeg %.2f)\n", e.cpu, l,
                   d.cpu, f);
      return 1;
    }
    enc = e.cpu < enc.cpu ? e : enc;
    dec = d.cpu < dec.cpu ? d : dec;
    lame.cpu = std::min(lame.cpu, l);
    ffmpeg.cpu = std::min(ffmpeg.cpu, f);
  }
  const Usage shortEnc =
      InChild([&] { return VQFEncode(shortWav.c_str(), shortVqf.c_str(), 44, 96, nullptr, nullptr); });
  const Usage shortDec = InChild([&] {
    fs::remove(back);
    return VQFDecode(shortVqf.c_str(), back.c_str(), nullptr, nullptr);
  });

  std::printf("input            %d s stereo 16-bit 44100 Hz music-like signal, best of %d\n", seconds, runs);
  std::printf("VQFEncode 96k    %.3f s CPU\n", enc.cpu);
  std::printf("lame -b 128      %.3f s CPU\n", lame.cpu);
  std::printf("encode ratio     %.3f (target <= 1.0, never above 2.0)\n", enc.cpu / lame.cpu);
  std::printf("VQFDecode        %.3f s CPU\n", dec.cpu);
  std::printf("ffmpeg decode    %.3f s CPU\n", ffmpeg.cpu);
  std::printf("decode ratio     %.3f (target <= 1.05)\n", dec.cpu / ffmpeg.cpu);
  std::printf("peak memory      encode %ld KB (60 s: %ld KB), decode %ld KB (60 s: %ld KB)\n", enc.peakKb,
              shortEnc.peakKb, dec.peakKb, shortDec.peakKb);
  fs::remove_all(dir);
  return 0;
}
