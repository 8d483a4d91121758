// MP3 decoding through svdecode's exported calls. svdecode keeps one decoder per loaded copy
// of the library, and the program's copy belongs to its own jobs; the control decodes with a
// copy of its own, lent to one Mp3Decoder at a time. This class is the only place that knows
// how svdecode is reached.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace cdw {

struct DecoderCopy;

class Mp3Decoder {
 public:
  struct Facts {
    int sampleRate = 0;
    int channels = 0;
    int bits = 0;
    double seconds = 0;  // whole seconds from the stream's own count; 0 when unknown
  };
  enum class Result { Done, Cancelled, ReadFailed, WriteFailed };

  // Borrows the decoder, waiting while another object holds it.
  Mp3Decoder();
  ~Mp3Decoder();
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;

  // False when svdecode cannot be loaded; error() says why.
  bool available() const { return copy_ != nullptr; }
  const std::string& error() const { return error_; }

  // What the first frame decodes to, and the length; nullopt when it is not MPEG audio.
  std::optional<Facts> Probe(const std::string& mp3);
  // Decodes the whole stream into a WAV file. `progress` gets the position (0 to 1) and
  // returns false to stop; a stopped or failed decode removes the WAV.
  Result DecodeToWav(const std::string& mp3, const std::string& wav,
                     const std::function<bool(double)>& progress);

 private:
  std::unique_lock<std::mutex> lock_;
  DecoderCopy* copy_ = nullptr;
  std::string error_;
};

}  // namespace cdw
