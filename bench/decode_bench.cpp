// MP3 decoding speed: a 5-minute 128 kbit/s stereo 44.1 kHz stream (made with LAME on first
// use) decoded to a WAV file through the exported calls, against `mpg123 -q -w` on the same
// file, both measured in CPU time in the same run.
//
//   decode_bench [stream.mp3] [rounds]
#include <lame/lame.h>
#include <sys/resource.h>
#include <sys/wait.h>
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

namespace fs = std::filesystem;

// Music-like test material: chords with vibrato, a decaying percussive hit every half second
// (so the encoder switches to short blocks) and a little noise; the channels differ.
std::vector<short> MakeMusic(int rate, int seconds) {
  const size_t n = static_cast<size_t>(rate) * static_cast<size_t>(seconds);
  std::vector<short> pcm(2 * n);
  std::mt19937 gen(1);
  std::normal_distribution<double> noise(0.0, 300.0);
  const double notes[] = {220.0, 277.18, 329.63, 440.0, 554.37, 659.25, 880.0};
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / rate;
    const int chord = static_cast<int>(t / 2.0) % 4;
    double l = 0, r = 0;
    for (int k = 0; k < 4; ++k) {
      const double f = notes[(chord + k) % 7] * (1 + 0.003 * std::sin(2 * M_PI * 5 * t));
      const double v = std::sin(2 * M_PI * f * t) + 0.3 * std::sin(4 * M_PI * f * t);
      l += v * (k % 2 ? 0.8 : 1.0);
      r += v * (k % 2 ? 1.0 : 0.7);
    }
    const double since_hit = std::fmod(t, 0.5);
    const double hit = std::exp(-since_hit * 40) * noise(gen) * 20;
    l = l * 3000 + hit + noise(gen);
    r = r * 3000 + hit * 0.8 + noise(gen);
    pcm[2 * i] = static_cast<short>(std::clamp(l, -32768.0, 32767.0));
    pcm[2 * i + 1] = static_cast<short>(std::clamp(r, -32768.0, 32767.0));
  }
  return pcm;
}

bool MakeStream(const fs::path& path) {
  const int rate = 44100;
  std::printf("encoding 5 minutes of test material to %s ...\n", path.c_str());
  const std::vector<short> pcm = MakeMusic(rate, 300);
  lame_global_flags* gf = lame_init();
  lame_set_num_channels(gf, 2);
  lame_set_in_samplerate(gf, rate);
  lame_set_brate(gf, 128);
  lame_set_mode(gf, JOINT_STEREO);
  lame_set_quality(gf, 5);
  if (lame_init_params(gf) != 0) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<unsigned char> buffer(1 << 20);
  const int chunk = 1152 * 100;
  const int frames = static_cast<int>(pcm.size() / 2);
  for (int at = 0; at < frames; at += chunk) {
    const int count = std::min(chunk, frames - at);
    const int n = lame_encode_buffer_interleaved(gf, const_cast<short*>(pcm.data()) + 2 * at, count,
                                                 buffer.data(), static_cast<int>(buffer.size()));
    if (n < 0) return false;
    out.write(reinterpret_cast<const char*>(buffer.data()), n);
  }
  const int n = lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size()));
  if (n > 0) out.write(reinterpret_cast<const char*>(buffer.data()), n);
  lame_close(gf);
  return static_cast<bool>(out);
}

double ProcessCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// One decode through the exports; returns CPU seconds, or -1 on failure.
double DecodeOurs(const fs::path& in, const fs::path& wav, long* frames) {
  const double start = ProcessCpuSeconds();
  CreateDecoder();
  RegisterInputModule();
  RegisterOutputModule();
  if (Mp3InputOpen(in.c_str()) != 0) return -1;
  if (WaveOutputOpen(("wav:" + wav.string()).c_str()) != 0) return -1;
  long n = 0;
  int32_t r;
  while ((r = Mp3DecodePlay()) == 0 || r == SVD_E_STREAM) ++n;
  Mp3InputClose();
  WaveOutputClose();
  DeleteDecoder();
  *frames = n;
  return ProcessCpuSeconds() - start;
}

// One run of mpg123; its CPU seconds (user + system), or -1.
double DecodeMpg123(const fs::path& in, const fs::path& wav) {
  return bench::ChildCpuSeconds({"mpg123", "-q", "-w", wav.string(), in.string()});
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path stream = argc > 1 ? fs::path(argv[1]) : fs::path("decode_bench_input.mp3");
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  if (!fs::exists(stream) && !MakeStream(stream)) {
    std::fprintf(stderr, "could not make %s\n", stream.c_str());
    return 1;
  }
  const fs::path ours_wav = fs::path(stream).replace_extension(".svdecode.wav");
  const fs::path theirs_wav = fs::path(stream).replace_extension(".mpg123.wav");
  double best_ours = 1e9, best_theirs = 1e9;
  long frames = 0;
  for (int i = 0; i < rounds; ++i) {
    const double ours = DecodeOurs(stream, ours_wav, &frames);
    const double theirs = DecodeMpg123(stream, theirs_wav);
    if (ours < 0 || theirs < 0) {
      std::fprintf(stderr, "decoding failed (ours %.3f, mpg123 %.3f)\n", ours, theirs);
      return 1;
    }
    std::printf("round %d: svdecode %.3f s, mpg123 %.3f s CPU\n", i + 1, ours, theirs);
    best_ours = std::min(best_ours, ours);
    best_theirs = std::min(best_theirs, theirs);
  }
  std::printf("stream %s: %ld frames, %lld bytes\n", stream.c_str(), frames,
              static_cast<long long>(fs::file_size(stream)));
  std::printf("best of %d: svdecode %.3f s, mpg123 %.3f s, ratio %.2f (svdecode / mpg123)\n", rounds,
              best_ours, best_theirs, best_ours / best_theirs);
  return 0;
}
