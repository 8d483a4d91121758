// MP3 decoding for the control with svdecode's core: a decoder of its own for every call, so
// decodes never wait for each other (a burn caching its MP3s, another control adding tracks).
// The only place that knows how MP3s are decoded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace cdw {

struct Mp3Facts {
  int sampleRate = 0;
  int channels = 0;
  // Sample frames of the decoded audio as the stream's header counts them, or as its size
  // and first bit rate suggest; 0 when unknown. Only decoding tells them for sure.
  std::int64_t frames = 0;
};

// What the first frame decodes to, and the length; nullopt when the file holds no MPEG audio.
std::optional<Mp3Facts> ProbeMp3(const std::string& mp3);

enum class Mp3Result { Done, Cancelled, ReadFailed, WriteFailed };

// Decodes the whole stream into a WAV file of 16-bit PCM, the samples svdecode's exported
// calls give. `progress` gets the share of the file decoded (0 to 1) and returns false to
// stop; a stopped or failed decode removes the WAV.
Mp3Result DecodeMp3ToWav(const std::string& mp3, const std::string& wav,
                         const std::function<bool(double)>& progress);

}  // namespace cdw
