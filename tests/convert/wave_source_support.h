// Shared pieces of the WAV-to-compressed tests: synthesised WAV sources, decoding the MP3s
// back with svdecode, and comparing signals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavetest {

struct Pcm {
  int channels = 0;
  int rate = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// Two tones, a different one per channel, so swapped or mixed channels show.
Pcm Tones(int channels, int rate, size_t frames, double leftHz = 440.0, double rightHz = 660.0);

struct WavSpec {
  uint16_t formatTag = 1;
  uint16_t bitsPerSample = 16;
  int32_t headerRate = -1;      // written rate field; -1: the PCM's own rate
  uint32_t listChunkBytes = 0;  // a "LIST" chunk of that many junk bytes before "data"
  uint32_t trailingBytes = 0;   // stray bytes at the end of the data chunk
};
// Writes the PCM as a WAV file (raw bytes of the samples; for other bit depths the bytes
// are whatever the spec says, the content does not matter to a refused file).
void WriteWav(const std::string& path, const Pcm& pcm, const WavSpec& spec = {});

// Reads a canonical 16-bit PCM WAV (44-byte header); false when it is not one or its header's
// lengths disagree with the file's size.
bool ReadWav(const std::string& path, Pcm& out);

// Decodes an MP3 file through svdecode into PCM; false when the decoder failed.
bool DecodeMp3(const std::string& mp3, const std::string& scratchWav, Pcm& out);

// Best signal-to-noise ratio in dB of `decoded` against `reference` (channel by channel,
// or the reference's mean when `mixReference`) over lags 0..maxLag of the decoded signal.
double BestSnr(const Pcm& reference, const Pcm& decoded, size_t maxLag, bool mixReference = false);

}  // namespace wavetest
