#include "sound_check.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace sv::test {

using Clock = std::chrono::steady_clock;

ChannelSound AnalyseChannel(const std::vector<std::int16_t>& interleaved, int channels, int channel, int rate,
                            double threshold) {
  ChannelSound out;
  const std::int64_t frames = static_cast<std::int64_t>(interleaved.size()) / channels;
  auto at = [&](std::int64_t i) {
    return interleaved[static_cast<std::size_t>(i * channels + channel)] / 32768.0;
  };
  std::int64_t first = -1, last = -1;
  for (std::int64_t i = 0; i < frames; ++i)
    if (std::abs(at(i)) > threshold) {
      if (first < 0) first = i;
      last = i;
    }
  if (first < 0) return out;
  out.present = true;
  const double msPerFrame = 1000.0 / rate;
  out.onsetMs = static_cast<double>(first) * msPerFrame;
  out.lengthMs = static_cast<double>(last - first + 1) * msPerFrame;

  double sum = 0;
  std::int64_t gap = 0, longestGap = 0;
  double firstCrossing = -1, lastCrossing = -1;
  std::int64_t crossings = 0;
  for (std::int64_t i = first; i <= last; ++i) {
    const double v = at(i);
    sum += v * v;
    gap = std::abs(v) > threshold ? 0 : gap + 1;
    longestGap = std::max(longestGap, gap);
    if (i > first) {
      const double u = at(i - 1);
      if (u < 0 && v >= 0) {  // a rising zero crossing, placed between the two samples
        const double t = static_cast<double>(i - 1) + u / (u - v);
        if (firstCrossing < 0) firstCrossing = t;
        lastCrossing = t;
        ++crossings;
      }
    }
  }
  const std::int64_t span = last - first + 1;
  out.rms = std::sqrt(sum / static_cast<double>(span));
  out.longestGapMs = static_cast<double>(longestGap) * msPerFrame;
  if (crossings > 1)
    out.frequencyHz = static_cast<double>(crossings - 1) * rate / (lastCrossing - firstCrossing);

  // Quietest 10 ms window, ignoring a partial window at the end.
  const std::int64_t window = std::max(1, rate / 100);
  double quietest = span >= window ? 1e9 : out.rms;
  for (std::int64_t start = first; start + window <= last + 1; start += window) {
    double w = 0;
    for (std::int64_t i = start; i < start + window; ++i) w += at(i) * at(i);
    quietest = std::min(quietest, std::sqrt(w / static_cast<double>(window)));
  }
  out.quietest = out.rms > 0 ? quietest / out.rms : 0;
  return out;
}

std::vector<Span> SoundSpans(const std::vector<std::int16_t>& interleaved, int channels, int channel,
                             int rate, double minGapMs, double threshold) {
  std::vector<Span> spans;
  const std::int64_t frames = static_cast<std::int64_t>(interleaved.size()) / channels;
  const auto minGap = static_cast<std::int64_t>(minGapMs * rate / 1000);
  const auto limit = static_cast<int>(threshold * 32768);
  std::int64_t quiet = 0;
  for (std::int64_t i = 0; i < frames; ++i) {
    if (std::abs(interleaved[static_cast<std::size_t>(i * channels + channel)]) <= limit) {
      ++quiet;
      continue;
    }
    if (spans.empty() || quiet >= minGap)
      spans.push_back({i, i + 1});
    else
      spans.back().end = i + 1;
    quiet = 0;
  }
  return spans;
}

void ExpectSoundsLike(const Recording& heard, const std::vector<std::int16_t>& reference, int rate,
                      int channels, const Likeness& within) {
  ASSERT_FALSE(heard.samples.empty()) << "nothing was recorded";
  for (int c = 0; c < heard.channels; ++c) {
    SCOPED_TRACE("recorded channel " + std::to_string(c));
    const ChannelSound want = AnalyseChannel(reference, channels, std::min(c, channels - 1), rate);
    const ChannelSound got = heard.channel(c);
    ASSERT_TRUE(want.present) << "the reference is silent";
    ASSERT_TRUE(got.present) << "nothing was heard";
    EXPECT_NEAR(got.lengthMs, want.lengthMs, within.lengthMs);
    EXPECT_NEAR(20 * std::log10(got.rms / want.rms), 0, within.levelDb);
    EXPECT_NEAR(got.frequencyHz, want.frequencyHz, want.frequencyHz * within.frequencyShare);
    EXPECT_LE(got.longestGapMs, std::max(within.longestGapMs, want.longestGapMs));
  }
}

void ExpectSoundsLike(const Recording& heard, const QByteArray& reference, int rate, int channels,
                      const Likeness& within) {
  const auto* samples = reinterpret_cast<const std::int16_t*>(reference.constData());
  ExpectSoundsLike(heard, std::vector<std::int16_t>(samples, samples + reference.size() / 2), rate, channels,
                   within);
}

void PumpEvents(std::chrono::milliseconds duration, const std::function<bool()>& done) {
  const auto until = Clock::now() + duration;
  while (Clock::now() < until) {
    if (done && done()) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

Recording RecordPlayback(const PulseServer& server, const std::function<void()>& play,
                         const std::function<bool()>& finished, std::chrono::milliseconds timeout) {
  Recording r;
  r.rate = server.options().rate;
  r.channels = server.options().channels;
  MonitorRecorder recorder(server);
  if (!recorder.ok()) {
    ADD_FAILURE() << recorder.error();
    return r;
  }
  play();
  const auto deadline = Clock::now() + timeout;
  PumpEvents(timeout, finished);
  r.finishedAtFrame = recorder.frames();
  r.timedOut = Clock::now() >= deadline && !finished();
  // What the server played last is still on its way through the monitor.
  PumpEvents(std::chrono::milliseconds(150));
  r.samples = recorder.stop();
  return r;
}

Match FindExactly(const std::vector<std::int16_t>& recording, const std::vector<std::int16_t>& reference,
                  int channels) {
  Match m;
  const std::size_t width = static_cast<std::size_t>(channels);
  // The first frame of the reference that is not silent anchors the search.
  std::size_t anchor = 0;
  while (anchor + width <= reference.size() &&
         std::all_of(reference.begin() + anchor, reference.begin() + anchor + width,
                     [](auto s) { return s == 0; }))
    anchor += width;
  if (anchor + width > reference.size()) return m;
  // The reference may start with silence, so its anchor can lie that far into the recording.
  for (std::size_t pos = anchor; pos + width <= recording.size(); pos += width) {
    if (!std::equal(reference.begin() + anchor, reference.begin() + anchor + width, recording.begin() + pos))
      continue;
    const std::size_t start = pos - anchor;
    std::size_t n = 0;
    while (start + n < recording.size() && n < reference.size() && recording[start + n] == reference[n]) ++n;
    if (n / width > static_cast<std::size_t>(m.matchingFrames)) {
      m.found = true;
      m.offsetFrames = static_cast<std::int64_t>(start / width);
      m.matchingFrames = static_cast<std::int64_t>(n / width);
      if (n == reference.size()) break;
    }
  }
  return m;
}

std::vector<std::int16_t> Tones(int rate, const std::vector<double>& frequencies, double seconds,
                                double amplitude) {
  const std::size_t channels = frequencies.size();
  const std::size_t frames = static_cast<std::size_t>(std::llround(seconds * rate));
  std::vector<std::int16_t> out(frames * channels);
  for (std::size_t i = 0; i < frames; ++i)
    for (std::size_t c = 0; c < channels; ++c)
      out[i * channels + c] = static_cast<std::int16_t>(std::lround(
          32767.0 * amplitude * std::sin(2 * M_PI * frequencies[c] * static_cast<double>(i) / rate)));
  return out;
}

namespace {
PulseServer* startedServer = nullptr;
}  // namespace

PulseServer& SoundServerTest::Server() {
  static PulseServer server;
  startedServer = &server;
  return server;
}

PulseServer* SoundServerTest::StartedServer() { return startedServer; }

void SoundServerTest::SetUp() {
  PulseServer& server = Server();
  ASSERT_TRUE(server.error().empty()) << server.error();
  server.useForThisProcess();
  if (server.running()) return;
  // An earlier test killed it: Qt's sound client reconnects by itself after a few seconds.
  ASSERT_TRUE(server.restart()) << server.error();
  PumpEvents(std::chrono::seconds(10), [] { return !QMediaDevices::defaultAudioOutput().isNull(); });
  ASSERT_FALSE(QMediaDevices::defaultAudioOutput().isNull())
      << "Qt did not reconnect to the restarted server";
}

}  // namespace sv::test
