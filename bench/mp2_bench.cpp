// CPU time of decoding a 192 kbit/s stereo MP2 stream to WAV: svdecode through its exported
// calls against `mpg123 -q -w` on the same file, in the same run.
// Usage: mp2_bench [seconds of audio, default 300] [work directory, default /tmp]
#include <sys/resource.h>
#include <sys/wait.h>
#include <twolame.h>
#include <unistd.h>
#include "child_cpu.h"

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

#include "svdecode.h"

namespace {

constexpr int kRate = 44100;

// Chords with a slow envelope and a little noise, so every band carries something.
bool MakeStream(const std::string& path, int seconds) {
  const size_t frames = static_cast<size_t>(kRate) * seconds;
  std::vector<short> pcm(frames * 2);
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 0.01);
  const double pi = std::acos(-1.0);
  const double notes[] = {110.0, 220.0, 277.2, 329.6, 440.0, 659.3, 1318.5, 2637.0, 5274.0};
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    double l = 0.0, r = 0.0;
    for (int k = 0; k < 9; ++k) {
      const double env = 0.5 + 0.5 * std::sin(2 * pi * (0.1 + 0.03 * k) * t);
      l += 0.08 * env * std::sin(2 * pi * notes[k] * t);
      r += 0.08 * (1.0 - env) * std::sin(2 * pi * notes[k] * 1.003 * t + k);
    }
    pcm[2 * i] = static_cast<short>(std::lround(std::clamp(l + noise(rng), -1.0, 1.0) * 32000));
    pcm[2 * i + 1] = static_cast<short>(std::lround(std::clamp(r + noise(rng), -1.0, 1.0) * 32000));
  }
  twolame_options* opts = twolame_init();
  twolame_set_num_channels(opts, 2);
  twolame_set_in_samplerate(opts, kRate);
  twolame_set_out_samplerate(opts, kRate);
  twolame_set_mode(opts, TWOLAME_STEREO);
  twolame_set_bitrate(opts, 192);
  if (twolame_init_params(opts) != 0) return false;
  std::vector<unsigned char> out(pcm.size() + 65536);
  int used = twolame_encode_buffer_interleaved(opts, pcm.data(), static_cast<int>(frames), out.data(),
                                               static_cast<int>(out.size()));
  if (used >= 0) used += twolame_encode_flush(opts, out.data() + used, static_cast<int>(out.size()) - used);
  twolame_close(&opts);
  if (used <= 0) return false;
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), used);
  return static_cast<bool>(file);
}

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// CPU seconds of svdecode decoding `in` into a WAV file, or a negative value on failure.
double RunSvdecode(const std::string& in, const std::string& out) {
  const double start = CpuSeconds();
  if (CreateDecoder() != 0 || RegisterInputModule() != 0 || RegisterOutputModule() != 0) return -1;
  if (Mp3InputOpen(in.c_str()) != 0 || WaveOutputOpen(("wav:" + out).c_str()) != 0) {
    DeleteDecoder();
    return -1;
  }
  int32_t result;
  do result = Mp3DecodePlay();
  while (result == 0 || result == SVD_E_STREAM);
  Mp3InputClose();
  WaveOutputClose();
  DeleteDecoder();
  return CpuSeconds() - start;
}

// CPU seconds (user + system) of `mpg123 -q -w out in`, or a negative value on failure.
double RunMpg123(const std::string& in, const std::string& out) {
  return bench::ChildCpuSeconds({"mpg123", "-q", "-w", out, in});
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
  const std::string dir = argc > 2 ? argv[2] : "/tmp";
  const std::string stream = dir + "/svbench-192k-" + std::to_string(seconds) + "s.mp2";
  const std::string ours = dir + "/svbench-svdecode.wav", theirs = dir + "/svbench-mpg123.wav";
  if (!std::filesystem::exists(stream) && !MakeStream(stream, seconds)) {
    std::fprintf(stderr, "could not encode the test stream\n");
    return 1;
  }
  double best_ours = 1e9, best_theirs = 1e9;
  for (int round = 0; round < 3; ++round) {
    const double a = RunSvdecode(stream, ours);
    const double b = RunMpg123(stream, theirs);
    if (a < 0 || b < 0) {
      std::fprintf(stderr, "%s failed\n", a < 0 ? "svdecode" : "mpg123");
      return 1;
    }
    best_ours = std::min(best_ours, a);
    best_theirs = std::min(best_theirs, b);
  }
  const auto ours_size = std::filesystem::file_size(ours), theirs_size = std::filesystem::file_size(theirs);
  std::printf("%d s of 192 kbit/s stereo MP2 (%s)\n", seconds, stream.c_str());
  std::printf("svdecode: %.3f s CPU, %ju bytes of WAV\n", best_ours, static_cast<uintmax_t>(ours_size));
  std::printf("mpg123:   %.3f s CPU, %ju bytes of WAV\n", best_theirs, static_cast<uintmax_t>(theirs_size));
  std::printf("ratio svdecode / mpg123: %.2f\n", best_ours / best_theirs);
  std::filesystem::remove(ours);
  std::filesystem::remove(theirs);
  if (ours_size + 44 * 2 < theirs_size) {
    std::fprintf(stderr, "svdecode wrote less PCM than mpg123\n");
    return 1;
  }
  return 0;
}
