// CPU time per slot of the synthesis filterbank on each code path and rate.
// Usage: synth_bench [slots]   (default 400000 slots per case)
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "synth.h"

// Process CPU time, so that other load on the machine does not count.
double CpuNanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e9 + ts.tv_nsec;
}

int main(int argc, char** argv) {
  const int slots = argc > 1 ? std::atoi(argv[1]) : 400000;
  constexpr int kBlock = 36;  // one Layer II frame per call
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
  std::vector<float> input(kBlock * 32 * 64);
  for (float& x : input) x = dist(rng);
  std::vector<int16_t> pcm(kBlock * 32 * 2);

  using Path = svd::Synthesis::Path;
  const struct {
    Path path;
    const char* name;
  } paths[] = {{Path::kScalar, "scalar"}, {Path::kSse2, "sse2"}, {Path::kAvx2, "avx2+fma"}};
  std::printf("best path: %s\n", svd::Synthesis::BestPath() == Path::kAvx2 ? "avx2+fma" : "sse2");
  long checksum = 0;
  for (const auto& p : paths) {
    if (p.path == Path::kAvx2 && svd::Synthesis::BestPath() != Path::kAvx2) continue;
    for (int shift = 0; shift <= 2; ++shift) {
      svd::Synthesis f;
      f.SetPath(p.path);
      f.SetReductionShift(shift);
      const auto* blocks = reinterpret_cast<const float(*)[32]>(input.data());
      const double start = CpuNanoseconds();
      for (int done = 0, b = 0; done < slots; done += kBlock, b = (b + 1) % 64) {
        f.Run(blocks + b * kBlock, kBlock, pcm.data(), 2);
        checksum += pcm[6];
      }
      const double ns = CpuNanoseconds() - start;
      std::printf("%-9s shift %d: %7.1f ns/slot\n", p.name, shift, ns / slots);
    }
  }
  std::printf("(checksum %ld)\n", checksum);
  return 0;
}
