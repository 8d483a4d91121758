#pragma once
// Checks on what a private sound server has played: record while something plays, then
// measure each channel's level, frequency, length and gaps, or find a known signal in it
// sample for sample. A device test reads like:
//
//   const Recording r = RecordPlayback(server, [&] { mci("play tune"); },
//                                      [&] { return mci("status tune mode") == "stopped"; });
//   ExpectSoundsLike(r, media::Tone(2.0, 44100, 2), 44100, 2);  // what the file holds
//
// or, channel by channel, r.channel(0).frequencyHz, .lengthMs, .rms ...
#include "pulse_server.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sv::test {

// One channel of a recording that holds a tone between silences.
struct ChannelSound {
  bool present = false;     // anything above the threshold at all
  double onsetMs = 0;       // first sample above the threshold
  double lengthMs = 0;      // from the first to the last sample above the threshold
  double rms = 0;           // over that span; 1.0 is full scale
  double frequencyHz = 0;   // rising zero crossings a second over that span: a pure tone's
                            // frequency; for other signals still a figure to compare
  double quietest = 0;      // the quietest 10 ms window in the span against rms: ~0 at a dropout
  double longestGapMs = 0;  // the longest run below the threshold inside the span
};

// threshold: a fraction of full scale.
ChannelSound AnalyseChannel(const std::vector<std::int16_t>& interleaved, int channels, int channel, int rate,
                            double threshold = 0.01);

struct Recording {
  int rate = 0;
  int channels = 0;
  std::vector<std::int16_t> samples;  // interleaved
  bool timedOut = false;
  std::int64_t finishedAtFrame = -1;  // frames recorded when finished() turned true

  std::int64_t frames() const { return channels ? static_cast<std::int64_t>(samples.size()) / channels : 0; }
  double lengthMs() const { return rate ? 1000.0 * static_cast<double>(frames()) / rate : 0; }
  ChannelSound channel(int c, double threshold = 0.01) const {
    return AnalyseChannel(samples, channels, c, rate, threshold);
  }
};

// The stretches of one channel that hold sound, split at silences of at least minGapMs.
struct Span {
  std::int64_t first = 0;  // frames
  std::int64_t end = 0;    // one past the last
  std::int64_t frames() const { return end - first; }
};
std::vector<Span> SoundSpans(const std::vector<std::int16_t>& interleaved, int channels, int channel,
                             int rate, double minGapMs = 20, double threshold = 0.01);

// Records the server's output while play() starts something, running the Qt event loop
// until finished() is true (or timeout), then a little longer for the tail still on its
// way through the server.
Recording RecordPlayback(const PulseServer& server, const std::function<void()>& play,
                         const std::function<bool()>& finished,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30));

// How closely a recording must follow what was played.
struct Likeness {
  double lengthMs = 100;          // sound from first to last audible sample
  double levelDb = 1.0;           // RMS level over that span
  double frequencyShare = 0.005;  // of the reference's frequency
  double longestGapMs = 1;        // silence inside the sound (a dropout)
};

// Expects each recorded channel to sound like the reference (interleaved at its own rate
// and channel count; a mono reference is expected on both sides): same frequency, level and
// length, no dropout.
void ExpectSoundsLike(const Recording& heard, const std::vector<std::int16_t>& reference, int rate,
                      int channels, const Likeness& within = {});
// The same for 16-bit PCM bytes, as media::Tone() gives them.
void ExpectSoundsLike(const Recording& heard, const QByteArray& reference, int rate, int channels,
                      const Likeness& within = {});

// Runs the Qt event loop for a while, or until done() is true.
void PumpEvents(std::chrono::milliseconds duration, const std::function<bool()>& done = nullptr);

// Where a reference signal turns up in a recording, sample for sample (same channels).
struct Match {
  bool found = false;
  std::int64_t offsetFrames = 0;    // the reference's first frame in the recording
  std::int64_t matchingFrames = 0;  // frames from there on equal to the reference
};
Match FindExactly(const std::vector<std::int16_t>& recording, const std::vector<std::int16_t>& reference,
                  int channels);

// Interleaved 16-bit tones, one frequency per channel, amplitude a fraction of full scale.
std::vector<std::int16_t> Tones(int rate, const std::vector<double>& frequencies, double seconds,
                                double amplitude = 0.5);

// Base for the tests that play through a private server: one server for the whole test
// process (Qt's sound client connects once per process), started by the first such test and
// started again when a test has killed it.
class SoundServerTest : public ::testing::Test {
 public:
  static PulseServer& Server();
  // The private server if a test started one, else null.
  static PulseServer* StartedServer();

 protected:
  void SetUp() override;
};

}  // namespace sv::test
