// Decodes every conformance stream of a folder through the thirteen exported calls and judges
// it against the reference output: every complete frame decoded, largest difference at most 1,
// PSNR above 96 dB. Exit status 0 when all pass (or the folder is absent, with a message).
//
//   conformance_run ../shared/vectors [scratch folder]
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "svdecode.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Load(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Complete frames of a stream that starts with a frame and has no junk, and the samples per
// channel and channels of its frames.
struct Walk {
  int frames = 0, per_frame = 0, channels = 0;
};

Walk WalkFrames(const std::vector<uint8_t>& s) {
  static const int kRates[2][3][16] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
  static const int kFs[3][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}, {11025, 12000, 8000}};
  Walk w;
  size_t at = 0;
  while (at + 4 <= s.size()) {
    const uint8_t* h = &s[at];
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) break;
    const int version = (h[1] >> 3) & 3;  // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
    const int layer = 4 - ((h[1] >> 1) & 3);
    const int bitrate = h[2] >> 4, sampling = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 4 || bitrate == 0 || bitrate == 15 || sampling == 3) break;
    const bool lsf = version != 3;
    const int rate = kRates[lsf][layer - 1][bitrate];
    const int fs = kFs[version == 3 ? 1 : version == 2 ? 0 : 2][sampling];
    int length = layer == 1 ? 4 * (rate * 12000 / fs) : rate * 144000 / fs / (layer == 3 && lsf ? 2 : 1);
    if (padding && sampling == 0) length += layer == 1 ? 4 : 1;
    if (at + static_cast<size_t>(length) > s.size()) break;
    w.per_frame = layer == 1 ? 384 : (layer == 3 && lsf) ? 576 : 1152;
    w.channels = (h[3] >> 6) == 3 ? 1 : 2;
    ++w.frames;
    at += static_cast<size_t>(length);
  }
  return w;
}

// 0 when the stream passes; prints one line either way.
int Check(const fs::path& bit, const fs::path& scratch) {
  const fs::path pcm = fs::path(bit).replace_extension(".pcm");
  const std::string name = bit.stem().string();
  const Walk walk = WalkFrames(Load(bit));
  const fs::path out = scratch / (name + ".raw");
  CreateDecoder();
  RegisterInputModule();
  RegisterOutputModule();
  int frames = 0, errors = 0, r = 0;
  if (Mp3InputOpen(bit.c_str()) != 0 || WaveOutputOpen(("raw:" + out.string()).c_str()) != 0) {
    std::printf("FAIL %s: could not open\n", name.c_str());
    DeleteDecoder();
    return 1;
  }
  while ((r = Mp3DecodePlay()) == 0 || r == SVD_E_STREAM) (r == 0 ? frames : errors)++;
  Mp3InputClose();
  WaveOutputClose();
  DeleteDecoder();

  const std::vector<uint8_t> ours = Load(out), ref = Load(pcm);
  const size_t samples = ours.size() / 2;
  const size_t expected = static_cast<size_t>(walk.frames) * walk.per_frame * walk.channels;
  const size_t common = std::min(samples, ref.size() / 2);
  int largest = 0;
  double squares = 0;
  for (size_t i = 0; i < common; ++i) {
    const int a = static_cast<int16_t>(ours[2 * i] | ours[2 * i + 1] << 8);
    const int b = static_cast<int16_t>(ref[2 * i] | ref[2 * i + 1] << 8);
    largest = std::max(largest, std::abs(a - b));
    squares += double(a - b) * (a - b);
  }
  const double psnr = squares == 0 ? 999.0 : 10 * std::log10(32767.0 * 32767.0 * double(common) / squares);
  // Free format is refused: that stream decodes to nothing.
  const bool free_format = walk.frames == 0;
  const bool ok = free_format ? (frames == 0 && samples == 0)
                              : (r == SVD_E_END_OF_INPUT && errors == 0 && frames == walk.frames &&
                                 samples == expected && common > 0 && largest <= 1 && psnr > 96.0);
  std::printf("%s %s: %d frames (%d complete), largest difference %d, PSNR %.1f dB\n", ok ? "ok  " : "FAIL",
              name.c_str(), frames, walk.frames, largest, psnr);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? argv[1] : "../shared/vectors";
  const fs::path scratch = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "svdecode_conformance";
  if (!fs::is_directory(dir)) {
    std::printf("conformance streams not available (%s): nothing to check\n", dir.c_str());
    return 0;
  }
  fs::create_directories(scratch);
  std::vector<fs::path> streams;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".bit" && fs::exists(fs::path(e.path()).replace_extension(".pcm")))
      streams.push_back(e.path());
  std::sort(streams.begin(), streams.end());
  int failed = 0;
  for (const fs::path& s : streams) failed += Check(s, scratch);
  std::printf("aarch64: %zu passed, %d failed\n", streams.size() - static_cast<size_t>(failed), failed);
  return failed == 0 && !streams.empty() ? 0 : 1;
}
