// Quality of the VQF encoder as FFmpeg's decoder hears it: sines (level and SNR), test
// signals (segmental SNR) and pre-echo around clicks, at 80 and 96 kbit/s.
//
//   vqf_quality [sines|signals|clicks|all]
#include "svvqf.h"
#include "vqf_support.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

using namespace vqftest;

namespace {

TempDir dir;

Decoded RoundTrip(const Pcm& pcm, int kbps, const std::string& name) {
  const std::string wav = dir.Path(name + ".wav"), vqf = dir.Path(name + ".vqf");
  WriteWav(wav, pcm);
  const int r = VQFEncode(wav.c_str(), vqf.c_str(), 44, kbps, nullptr, nullptr);
  if (r != SVC_OK) std::printf("encode %s failed: %d\n", name.c_str(), r);
  return DecodeWithFfmpeg(vqf);
}

void Sines() {
  std::printf("%-8s %-7s %-5s %10s %10s %8s\n", "freq", "level", "kbps", "level in", "level out", "SNR dB");
  for (double hz : {100.0, 1000.0, 5000.0, 10000.0})
    for (double db : {-6.0, -30.0})
      for (int kbps : {80, 96}) {
        const Pcm pcm = Sine(hz, db, 3.0);
        const Decoded d = RoundTrip(pcm, kbps, "sine");
        const size_t from = 4096, to = pcm.Frames() - 4096;
        std::printf("%-8.0f %-7.0f %-5d %10.2f %10.2f %8.2f\n", hz, db, kbps, LevelDb(pcm, 0, from, to),
                    LevelDb(d.samples, d.channels, 0, from, to), Snr(pcm, d, -1, from, to));
      }
}

void Signals() {
  struct Named {
    const char* name;
    Pcm pcm;
  } signals[] = {{"two-tone", TwoTone(4)},       {"sweep", Sweep(6)},           {"noise -20", Noise(-20, 4)},
                 {"clicks", ClickTrain(4)},      {"music", Music(6)},           {"square 440", Square(440, 2)}};
  std::printf("%-12s %6s %12s %10s\n", "signal", "kbps", "segSNR dB", "SNR dB");
  for (auto& s : signals)
    for (int kbps : {80, 96}) {
      const Decoded d = RoundTrip(s.pcm, kbps, "signal");
      std::printf("%-12s %6d %12.2f %10.2f\n", s.name, kbps, SegmentalSnr(s.pcm, d), Snr(s.pcm, d));
    }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "all";
  if (what == "sines" || what == "all") Sines();
  if (what == "signals" || what == "all") Signals();
  return 0;
}
