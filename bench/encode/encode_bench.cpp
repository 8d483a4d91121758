// MP3 encoding speed: a 5-minute stereo WAV at 128 kbit/s through svencode, read and
// written the way the conversion job does, against Debian's lame program on the same file
// with the same settings. Compares processor time (best of N runs) and the output bytes.
//
//   encode_bench [runs=3] [lame program=/usr/bin/lame]
#include "child_cpu.h"
#include "mod_wav.h"
#include "music_signal.h"
#include "svencode.h"
#include "wav_file_io.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr int kSeconds = 300;
constexpr int kRate = 44100;

double cpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Music-like test signal: a few drifting tones, noise, per-channel differences.
void writeWav(const std::string& path) {
  clsFileIo out;
  const int32_t frames = kSeconds * kRate;
  out.OpenFile(path);
  out.writeWavHeader(frames * 4);
  bench::MusicSignal signal(kRate);
  std::vector<int16_t> block(2 * 4410);
  for (int32_t done = 0; done < frames;) {
    const int32_t n = std::min<int32_t>(4410, frames - done);
    signal.Fill(block.data(), static_cast<uint32_t>(n));
    out.WriteBytes(block.data(), n * 4);
    done += n;
  }
  out.CloseFile();
}

// The job's loop: header, then chunks of the size the encoder asks for.
bool encodeWithSvencode(const std::string& wav, const std::string& mp3) {
  modWAV::WavHeader header{};
  modWAV::WavLayout layout;
  modWAV::ReadWavHeader(wav, header, layout);
  EncoderConfig config;
  std::memset(&config, 0, sizeof config);
  config.configKind = BE_CONFIG_LAME;
  config.structVersion = 1;
  config.structSize = BE_CONFIG_SIZE;
  config.sampleRate = header.SampleRate > 0 ? static_cast<uint32_t>(header.SampleRate) : 44100;
  config.outSampleRate = 44100;
  config.mode = BE_MP3_MODE_JSTEREO;
  config.bitrate = 128;
  config.preset = LQP_NORMAL_QUALITY;
  config.mpegVersion = BE_MPEG1;
  config.original = -1;
  config.vbrMethod = VBR_METHOD_NONE;
  uint32_t chunk = 0, outSize = 0, stream = 0;
  if (beInitStream(&config, &chunk, &outSize, &stream) != BE_ERR_SUCCESSFUL) return false;

  fs::remove(mp3);
  clsFileIo in, out;
  in.OpenFileReadOnly(wav);
  out.OpenFile(mp3);
  std::vector<int16_t> pcm(chunk);
  std::vector<uint8_t> buffer(outSize);
  std::vector<uint8_t> skip(static_cast<size_t>(layout.DataOffset));
  in.ReadBytes(skip.data(), static_cast<int32_t>(skip.size()));
  const int64_t total = layout.DataBytes;
  bool ok = true;
  for (int64_t done = 0; done < total && ok;) {
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(chunk * 2, total - done));
    in.ReadBytes(pcm.data(), count);
    done += count;
    uint32_t produced = 0;
    ok = beEncodeChunk(stream, static_cast<uint32_t>(count / 2), pcm.data(), buffer.data(), &produced) == 0;
    if (produced > 0) out.WriteBytes(buffer.data(), static_cast<int32_t>(produced));
  }
  uint32_t produced = 0;
  beDeinitStream(stream, buffer.data(), &produced);
  if (produced > 0) out.WriteBytes(buffer.data(), static_cast<int32_t>(produced));
  out.FlushBuffers();
  out.CloseFile();
  in.CloseFile();
  beCloseStream(stream);
  return ok;
}

// Runs lame and gives the child's processor time, or -1.
double runLame(const std::string& lame, const std::string& wav, const std::string& mp3) {
  return bench::ChildCpuSeconds(
      {lame, "--quiet", "-b", "128", "-m", "j", "-q", "5", "-t", "--noreplaygain", wav, mp3});
}

std::vector<char> slurp(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string lame = argc > 2 ? argv[2] : "/usr/bin/lame";
  const fs::path dir = fs::temp_directory_path() / ("sonvera-encode-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string wav = (dir / "in.wav").string();
  const std::string ours = (dir / "svencode.mp3").string();
  const std::string theirs = (dir / "lame.mp3").string();
  writeWav(wav);

  double best = 1e9, bestLame = 1e9;
  for (int i = 0; i < runs; ++i) {  // alternate, so both see the same machine load
    const double t0 = cpuNow();
    if (!encodeWithSvencode(wav, ours)) {
      std::fprintf(stderr, "svencode failed\n");
      return 1;
    }
    best = std::min(best, cpuNow() - t0);
    const double t = runLame(lame, wav, theirs);
    if (t < 0) {
      std::fprintf(stderr, "could not run %s\n", lame.c_str());
      return 1;
    }
    bestLame = std::min(bestLame, t);
  }
  const bool same = slurp(ours) == slurp(theirs);
  std::printf("input          %d s stereo 16-bit %d Hz, 128 kbit/s joint stereo, quality 5\n", kSeconds,
              kRate);
  std::printf("svencode       %.3f s CPU (best of %d)\n", best, runs);
  std::printf("lame program   %.3f s CPU (best of %d)\n", bestLame, runs);
  std::printf("ratio          %.3f (target <= 1.05: %s)\n", best / bestLame,
              best / bestLame <= 1.05 ? "met" : "missed");
  std::printf("output bytes   %s (%ju bytes)\n", same ? "identical" : "DIFFERENT",
              static_cast<uintmax_t>(fs::file_size(ours)));
  fs::remove_all(dir);
  return 0;
}
