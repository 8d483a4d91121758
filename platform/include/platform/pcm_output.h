#pragma once
// Playing 16-bit PCM at the real-time rate for the media devices. Through the desktop's
// default sound device when the machine has one; otherwise a silent sink consumes the audio
// at the same pace, so a device's position and mode behave alike on both.
//
// The audio is fed from a thread of the output's own, so a busy user interface neither
// stalls nor crackles the sound, and the calls here do not wait for the sound server (the
// first start() in a program looks the default device up) nor for more than a source call
// in progress. The source is therefore called on that thread: never two calls at once, and
// never after stop(), pause(), a new start() or the destructor has returned, so that between
// those and the next start() or resume() the caller may touch whatever the source reads. It
// is read up to half a second ahead of what is heard: playedMilliseconds() says where the
// listener is. The handlers are called on the thread that made the output, from its event
// loop.
#include <QtGlobal>

#include <functional>
#include <memory>

namespace sv {

struct PcmFormat {
  int sampleRate = 44100;
  int channels = 2;  // 16-bit signed little-endian samples, interleaved, left first

  int bytesPerFrame() const { return channels * 2; }
  qint64 bytesPerSecond() const { return static_cast<qint64>(sampleRate) * bytesPerFrame(); }
};

class PcmOutput {
 public:
  // Fills data with up to maxBytes of PCM and returns the count; 0 means the audio has ended.
  using Source = std::function<qint64(char* data, qint64 maxBytes)>;
  enum class Mode { Stopped, Playing, Paused };

  explicit PcmOutput(PcmFormat format = {});
  ~PcmOutput();
  PcmOutput(const PcmOutput&) = delete;
  PcmOutput& operator=(const PcmOutput&) = delete;

  // Starts playing what the source gives; a running playback is stopped first.
  void start(Source source);
  void pause();
  void resume();
  void stop();

  // Playing until the source has ended and all it gave has been heard.
  Mode mode() const;
  // Audio heard since start, in milliseconds: it follows the sound device's own clock.
  qint64 playedMilliseconds() const;
  const PcmFormat& format() const;
  bool silent() const;

  // Called once when the audio has been played to its end (not on stop()).
  void setFinishedHandler(std::function<void()> handler);
  // Called once when the sound device or server goes away during playback; the output is
  // stopped then, and the position stays where the sound broke off.
  void setFailedHandler(std::function<void()> handler);

  // Uses the silent sink even where a sound device exists (tests, a muted program).
  static void ForceSilent(bool silent);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace sv
