// Processor cost of playing a WAV file in real time through the PCM output (5 minutes of
// 44.1 kHz stereo, made on first use), into a private sound server, against `paplay` playing
// the same file into the same server at the same time. Both are measured in processor time
// (user + system) over the wall time of the playback, as a share of one core.
//
//   pcm_play_bench [seconds] [input.wav]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mod_wav.h"
#include "music_signal.h"
#include "platform/pcm_output.h"
#include "pulse_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

double CpuSeconds(const rusage& u) {
  return double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) * 1e-6 + double(u.ru_stime.tv_sec) +
         double(u.ru_stime.tv_usec) * 1e-6;
}

double SelfCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return CpuSeconds(u);
}

bool MakeWav(const fs::path& path, int seconds) {
  std::printf("writing %d s of test material to %s ...\n", seconds, path.c_str());
  const int rate = 44100;
  const auto frames = static_cast<std::uint32_t>(rate * seconds);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + frames * 4);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(rate);
  u32(rate * 4);
  u16(4);
  u16(16);
  out.write("data", 4);
  u32(frames * 4);
  bench::MusicSignal signal(rate);
  std::vector<int16_t> block(2 * 4410);
  for (std::uint32_t at = 0; at < frames; at += 4410) {
    signal.Fill(block.data(), 4410);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 2));
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
  const fs::path wav = argc > 2 ? fs::path(argv[2]) : fs::path("pcm_play_bench_input.wav");
  if (!fs::exists(wav) && !MakeWav(wav, seconds)) return 1;

  modWAV::WavHeader header{};
  modWAV::WavLayout layout{};
  if (modWAV::ReadWavHeader(wav.string(), header, layout) != 0 || !modWAV::IsPcm16(header, layout)) {
    std::fprintf(stderr, "%s is not a 16-bit PCM WAV file\n", wav.c_str());
    return 1;
  }
  const sv::PcmFormat format{header.SampleRate, header.Channels};
  const qint64 bytes = std::min<qint64>(layout.DataBytes, format.bytesPerSecond() * seconds);

  sv::test::PulseServer server(sv::test::PulseServer::Options{format.sampleRate, 2});
  if (!server.error().empty()) {
    std::fprintf(stderr, "%s\n", server.error().c_str());
    return 1;
  }
  server.useForThisProcess();

  std::ifstream in(wav, std::ios::binary);
  in.seekg(layout.DataOffset);
  qint64 left = bytes;
  sv::PcmOutput out(format);
  out.setFinishedHandler([&] { app.quit(); });
  out.setFailedHandler([&] {
    std::fprintf(stderr, "the sound server went away\n");
    app.exit(1);
  });

  // The reference plays the same stretch of the file beside ours.
  const std::string server_arg = "--server=" + server.address();
  const std::string length_arg = std::to_string(double(bytes) / double(format.bytesPerSecond()));
  std::vector<std::string> args = {"timeout", length_arg, "paplay", server_arg, wav.string()};
  std::vector<char*> argv_child;
  for (auto& a : args) argv_child.push_back(a.data());
  argv_child.push_back(nullptr);

  const double cpu0 = SelfCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  out.start([&](char* data, qint64 max) {
    const qint64 n = std::min(max, left);
    in.read(data, n);
    left -= in.gcount();
    return static_cast<qint64>(in.gcount());
  });
  if (out.silent()) {
    std::fprintf(stderr, "no sound device: the output fell back to the silent sink\n");
    return 1;
  }
  pid_t child = 0;
  const bool reference = posix_spawnp(&child, "timeout", nullptr, nullptr, argv_child.data(), environ) == 0;
  // Without a recorder the null sink keeps a long block from before the streams: start anew.
  QTimer::singleShot(300, [&] { server.restartSinkClock(); });
  // The steady cost, without the connection to the server and the first buffer.
  double steadyCpu0 = -1;
  auto steadyT0 = t0;
  QTimer::singleShot(2000, [&] {
    steadyCpu0 = SelfCpuSeconds();
    steadyT0 = std::chrono::steady_clock::now();
  });
  const int rc = app.exec();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu1 = SelfCpuSeconds();
  const double ours = cpu1 - cpu0;
  const double steadyWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyT0).count();

  double theirs = -1;
  if (reference) {
    int status = 0;
    rusage u{};
    if (wait4(child, &status, 0, &u) == child) theirs = CpuSeconds(u);
  }
  if (rc != 0) return rc;

  std::printf("played %.1f s of %d Hz %d-channel PCM in %.1f s\n", double(bytes) / double(format.bytesPerSecond()),
              format.sampleRate, format.channels, wall);
  std::printf("PcmOutput: %.3f s processor time, %.3f %% of one core", ours, 100 * ours / wall);
  if (steadyCpu0 >= 0) std::printf(" (%.3f %% after the first 2 s)", 100 * (cpu1 - steadyCpu0) / steadyWall);
  std::printf("\n");
  if (theirs >= 0)
    std::printf("paplay:    %.3f s processor time, %.3f %% of one core; ours / paplay = %.2f\n", theirs,
                100 * theirs / wall, ours / theirs);
  return 0;
}
