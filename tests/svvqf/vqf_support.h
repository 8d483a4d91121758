// Test signals, WAV writing, decoding VQF with FFmpeg's libraries (the independent reference
// decoder) and the quality measures used by the VQF tests and the quality report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vqftest {

constexpr int kRate = 44100;

// Interleaved 16-bit PCM.
struct Pcm {
  int channels = 2;
  int rate = kRate;
  std::vector<int16_t> samples;
  size_t Frames() const { return samples.size() / channels; }
};

// Signals, `seconds` long, both channels alike unless said otherwise.
Pcm Sine(double hz, double dbfs, double seconds, int channels = 2, int rate = kRate);
Pcm TwoTone(double seconds);  // 440 Hz left, 3 kHz right, with a shared 1 kHz
Pcm Sweep(double seconds);    // logarithmic 50 Hz to 16 kHz
Pcm Noise(double dbfs, double seconds, int channels = 2, uint32_t seed = 1);
Pcm ClickTrain(double seconds, double clicksPerSecond = 4);  // castanet-like bursts on silence
Pcm Music(double seconds);                                   // tones, chords, a noise bed and attacks
Pcm Square(double hz, double seconds);                       // full scale
Pcm Constant(int16_t value, double seconds, int channels = 2);

bool WriteWav(const std::string& path, const Pcm& pcm);

struct Decoded {
  bool ok = false;
  std::string codec;  // FFmpeg's codec name
  int rate = 0, channels = 0;
  int64_t bitRate = 0;         // bit/s as the demuxer states it
  int errors = 0;              // packets FFmpeg refused or failed to decode
  std::vector<float> samples;  // interleaved, 16-bit scale (1.0 = one step)
  size_t Frames() const { return channels ? samples.size() / channels : 0; }
};
// Reads a VQF with libavformat/libavcodec.
Decoded DecodeWithFfmpeg(const std::string& path);

// Signal-to-noise ratio in dB of decoded against reference over frames [from, to) of one
// channel (channel -1: all), at lag 0.
double Snr(const Pcm& ref, const Decoded& dec, int channel = -1, size_t from = 0, size_t to = SIZE_MAX);
// Mean over blocks of 2048 frames of each block's SNR clamped to [-10, 60] dB, leaving out
// blocks that are near-silent in the reference.
double SegmentalSnr(const Pcm& ref, const Decoded& dec);
// Level in dBFS (rms relative to a full-scale sine) of frames [from, to) of a channel.
double LevelDb(const std::vector<float>& interleaved, int channels, int channel, size_t from, size_t to);
double LevelDb(const Pcm& pcm, int channel, size_t from, size_t to);
// Lag (in frames, -max..max) at which the decoded signal best matches the reference.
int BestLag(const Pcm& ref, const Decoded& dec, int maxLag);

// Temporary folder removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

}  // namespace vqftest
