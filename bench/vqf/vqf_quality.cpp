// Quality of the VQF encoder as FFmpeg's decoder hears it: sines (level and SNR), test
// signals (segmental SNR) and pre-echo around clicks, at 80 and 96 kbit/s.
//
//   vqf_quality [sines|signals|clicks|all]
#include "bit_writer.h"
#include "encoder.h"
#include "svvqf.h"
#include "vqf_file.h"
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
  } signals[] = {{"two-tone", TwoTone(4)},  {"sweep", Sweep(6)}, {"noise -20", Noise(-20, 4)},
                 {"clicks", ClickTrain(4)}, {"music", Music(6)}, {"square 440", Square(440, 2)}};
  std::printf("%-12s %6s %12s %10s\n", "signal", "kbps", "segSNR dB", "SNR dB");
  for (auto& s : signals)
    for (int kbps : {80, 96}) {
      const Decoded d = RoundTrip(s.pcm, kbps, "signal");
      std::printf("%-12s %6d %12.2f %10.2f\n", s.name, kbps, SegmentalSnr(s.pcm, d), Snr(s.pcm, d));
    }
}

// The encoder's own classes, to switch block switching off for comparison.
Decoded EncodeDirect(const Pcm& pcm, int perChannel, bool switching) {
  const std::string path = dir.Path("direct.vqf");
  svvqf::Encoder enc(perChannel, 2);
  enc.SetBlockSwitching(switching);
  svvqf::VqfFileWriter out;
  svvqf::VqfInfo info;
  info.totalKbps = 2 * perChannel;
  out.Open(path, info);
  svvqf::BitWriter bits;
  std::vector<float> f(pcm.samples.begin(), pcm.samples.end());
  enc.Push(f.data(), static_cast<int>(pcm.Frames()), bits);
  enc.Finish(bits);
  bits.Flush();
  out.Write(bits.Bytes().data(), bits.Bytes().size());
  out.Finish();
  return DecodeWithFfmpeg(path);
}

// Decoded level before the clicks' onsets (the source is silent there), relative to the click.
double PreEcho(const Pcm& ref, const Decoded& d, size_t from, size_t to) {
  double before = 0, click = 0;
  const size_t spacing = kRate / 4;
  for (size_t onset = spacing / 2; onset + 660 < std::min(ref.Frames(), d.Frames()); onset += spacing) {
    for (size_t i = onset - from; i < onset - to; ++i) before += d.samples[2 * i] * d.samples[2 * i];
    for (size_t i = onset; i < onset + 660; ++i) click += double(ref.samples[2 * i]) * ref.samples[2 * i];
  }
  return 10 * std::log10((before / double(from - to) + 1e-9) / (click / 660));
}

void Clicks() {
  const Pcm clicks = ClickTrain(6);
  std::printf("pre-echo on a click train (level before each onset relative to the click, dB)\n");
  std::printf("%-6s %-12s %16s %16s %16s\n", "kbps", "blocks", "[-2048,-1024)", "[-1024,-256)", "[-256,-64)");
  for (int per : {40, 48})
    for (bool sw : {true, false}) {
      const Decoded d = EncodeDirect(clicks, per, sw);
      std::printf("%-6d %-12s %16.1f %16.1f %16.1f\n", 2 * per, sw ? "switching" : "long only",
                  PreEcho(clicks, d, 2048, 1024), PreEcho(clicks, d, 1024, 256), PreEcho(clicks, d, 256, 64));
    }
  // One click, before and after, as columns for a plot.
  const Decoded sw = EncodeDirect(clicks, 48, true), lo = EncodeDirect(clicks, 48, false);
  std::FILE* f = std::fopen("vqf_click.tsv", "w");
  if (!f) return;
  const size_t onset = kRate / 8 + 4 * (kRate / 4);
  std::fprintf(f, "sample\tsource\tshort_blocks\tlong_only\n");
  for (size_t i = onset - 2560; i < onset + 1024; ++i)
    std::fprintf(f, "%d\t%d\t%.0f\t%.0f\n", int(i) - int(onset), clicks.samples[2 * i], sw.samples[2 * i],
                 lo.samples[2 * i]);
  std::fclose(f);
  std::printf("one click written to vqf_click.tsv (sample, source, with short blocks, long only)\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "all";
  if (what == "sines" || what == "all") Sines();
  if (what == "signals" || what == "all") Signals();
  if (what == "clicks" || what == "all") Clicks();
  return 0;
}
