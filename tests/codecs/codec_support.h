// What the codec tests share: the libraries' calls, test WAVs, reading WAVs back, signal
// comparison, Debian's command-line tools, and a recorder for the progress callback.
#pragma once

#include <svcodec.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace codectest {

namespace fs = std::filesystem;

// The exported calls, found in the built libraries by name.
struct Calls {
  OGGEncodeProc oggEncode;
  OGGDecodeProc oggDecode;
  WMAEncodeProc wmaEncode;
  WMADecodeProc wmaDecode;
};
const Calls& Lib();

// A signal that tells channels, rates and sample formats apart: each channel has its own
// pair of tones.
struct Signal {
  int rate = 44100;
  int channels = 2;
  double seconds = 3.0;
};
std::vector<int16_t> MakeSignal(const Signal& s);

// A WAV header, with room to lie.
struct WavSpec {
  int rate = 44100;
  int channels = 2;
  int bits = 16;
  int formatTag = 1;
  int64_t claimedDataBytes = -1;  // -1: the true size
};
void WriteWav(const fs::path& path, const std::vector<int16_t>& samples, const WavSpec& spec = {});
void WriteWav(const fs::path& path, const std::vector<int16_t>& samples, const Signal& s);

// A WAV read back: its header fields and samples, and whether the header matches the file.
struct Wav {
  bool valid = false;
  int formatTag = 0, channels = 0, rate = 0, bits = 0;
  uint32_t riffSize = 0, dataSize = 0, channelMask = 0;
  uint64_t fileSize = 0, dataOffset = 0;
  std::vector<int16_t> samples;
  size_t Frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
  // The sizes in the header are exactly what the file holds.
  bool Truthful() const { return valid && riffSize == fileSize - 8 && dataOffset + dataSize == fileSize; }
};
Wav ReadWav(const fs::path& path);

// A whole file's bytes, and a file made of bytes.
std::vector<char> ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const std::vector<char>& bytes);

// Signal-to-noise ratio in dB of `decoded` against `reference`, both interleaved with the
// same channel count, after finding the decoder's delay or lead (up to maxLag frames).
double Snr(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded, int channels,
           int maxLag = 0, int* lagFound = nullptr);
std::vector<int16_t> SwapChannels(std::vector<int16_t> stereo);
// Power of one frequency in a channel (Goertzel), relative to the channel's total power.
double ToneShare(const std::vector<int16_t>& samples, int channels, int channel, int rate, double hz);

// Runs a command line through the shell; gives its standard output, and its exit status
// through `status`.
std::string Shell(const std::string& command, int* status = nullptr);
bool HaveTool(const std::string& name);
std::string Quote(const fs::path& p);

// Records the progress callback's calls; a hook may act on each (set the cancel flag ...).
struct ProgressLog {
  std::vector<int> percents;
  bool otherThread = false;
  std::function<void(int)> hook;
  static CodecProgressProc Start(ProgressLog& log);  // becomes the active log
  static void Stop();
};

// Processor time of the calling thread, seconds.
double ThreadCpuSeconds();

// A fresh folder per test, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  fs::path operator/(const std::string& name) const { return path_ / name; }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// While alive, files may not grow past `bytes` (a full disk); writes past it fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes);
  ~FileSizeLimit();

 private:
  uint64_t oldSoft_, oldHard_;
};

}  // namespace codectest
