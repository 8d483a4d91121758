// The PCM output through a real sound server: a private PulseAudio whose null sink's
// monitor is recorded, so what the output plays can be compared with what was heard.
#include "platform/pcm_output.h"
#include "sound_check.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using namespace sv;
using namespace sv::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Plays a prepared buffer; counts its calls and notes any made on the test's own thread.
struct BufferSource {
  explicit BufferSource(std::vector<std::int16_t> s) : samples(std::move(s)) {}
  std::vector<std::int16_t> samples;
  std::atomic<qint64> at{0};  // bytes given
  std::atomic<int> calls{0};
  std::atomic<bool> onMainThread{false};

  PcmOutput::Source source() {
    return [this](char* data, qint64 max) {
      ++calls;
      if (QThread::currentThread() == QCoreApplication::instance()->thread()) onMainThread = true;
      const qint64 total = static_cast<qint64>(samples.size() * 2);
      const qint64 n = std::min(max, total - at.load());
      std::memcpy(data, reinterpret_cast<const char*>(samples.data()) + at.load(),
                  static_cast<std::size_t>(n));
      at += n;
      return n;
    };
  }
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A sine at amplitude 0.5 has this RMS level.
constexpr double kToneRms = 0.5 / M_SQRT2;

using PcmOutputSoundTest = SoundServerTest;

TEST_F(PcmOutputSoundTest, TonesComeOutAtTheirFrequencyLevelAndChannelForTheWholeLength) {
  const int rate = Server().options().rate;
  BufferSource src(Tones(rate, {1000, 3000}, 1.5));
  PcmOutput out(PcmFormat{rate, 2});
  int finished = 0, failed = 0;
  out.setFinishedHandler([&] { ++finished; });
  out.setFailedHandler([&] { ++failed; });

  const Recording r = RecordPlayback(
      Server(), [&] { out.start(src.source()); }, [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  ASSERT_FALSE(r.timedOut);
  EXPECT_FALSE(out.silent());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(out.playedMilliseconds(), 1500);
  EXPECT_FALSE(src.onMainThread);

  const ChannelSound left = r.channel(0), right = r.channel(1);
  ASSERT_TRUE(left.present && right.present);
  EXPECT_NEAR(left.frequencyHz, 1000, 1);  // left first, at the rate it was made for
  EXPECT_NEAR(right.frequencyHz, 3000, 3);
  EXPECT_NEAR(left.rms, kToneRms, 0.01);
  EXPECT_NEAR(right.rms, kToneRms, 0.01);
  EXPECT_NEAR(left.lengthMs, 1500, 2);
  EXPECT_NEAR(right.lengthMs, 1500, 2);
  EXPECT_GT(left.quietest, 0.9);  // no dropout anywhere
  EXPECT_LT(left.longestGapMs, 1);
  EXPECT_LT(right.longestGapMs, 1);
  // Sample for sample what the source gave: nothing lost, repeated or altered.
  const Match m = FindExactly(r.samples, src.samples, 2);
  EXPECT_TRUE(m.found);
  EXPECT_EQ(m.matchingFrames, static_cast<std::int64_t>(src.samples.size() / 2));

  // The end is reported when it has been heard, not when the last data was handed over.
  const double heardAtEnd = 1000.0 * static_cast<double>(r.finishedAtFrame) / rate - left.onsetMs;
  EXPECT_GT(heardAtEnd, 1500 - 50);
  EXPECT_LT(heardAtEnd, 1500 + 150);
}

struct Format {
  int rate;
  int channels;
};
void PrintTo(const Format& f, std::ostream* os) { *os << f.rate << " Hz, " << f.channels << " channel(s)"; }

class PcmOutputFormatTest : public SoundServerTest, public ::testing::WithParamInterface<Format> {};

TEST_P(PcmOutputFormatTest, PlaysAtItsOwnRateAndChannels) {
  const Format f = GetParam();
  const std::vector<double> tones =
      f.channels == 1 ? std::vector<double>{1000} : std::vector<double>{1000, 3000};
  BufferSource src(Tones(f.rate, tones, 1.0));
  PcmOutput out(PcmFormat{f.rate, f.channels});
  const Recording r = RecordPlayback(
      Server(), [&] { out.start(src.source()); }, [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  ASSERT_FALSE(r.timedOut);
  EXPECT_FALSE(out.silent());

  // A mono source is heard on both sides; a wrong rate would shift the pitch and the length.
  ExpectSoundsLike(r, src.samples, f.rate, f.channels, Likeness{.lengthMs = 5, .levelDb = 0.2});
  for (int c = 0; c < 2; ++c) EXPECT_GT(r.channel(c).quietest, 0.8);
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, PcmOutputFormatTest,
                         ::testing::Values(Format{44100, 1}, Format{44100, 2}, Format{48000, 1},
                                           Format{48000, 2}),
                         [](const auto& info) {
                           return std::to_string(info.param.rate) +
                                  (info.param.channels == 1 ? "Mono" : "Stereo");
                         });

// Reads the position against the wall clock for a while: it must keep pace within 50 ms.
void ExpectPositionFollowsRealTime(const PcmOutput& out, std::chrono::milliseconds span) {
  const auto t0 = Clock::now();
  const qint64 p0 = out.playedMilliseconds();
  double worst = 0;
  PumpEvents(span, [&] {
    const double drift = static_cast<double>(out.playedMilliseconds() - p0) - Ms(Clock::now() - t0);
    worst = std::max(worst, std::abs(drift));
    return false;
  });
  EXPECT_LE(worst, 50) << "the position strayed from real time by " << worst << " ms";
}

// Waits for the position to move past from (bounded), as after a start or a resume.
bool WaitForPositionPast(const PcmOutput& out, qint64 from) {
  PumpEvents(3s, [&] { return out.playedMilliseconds() > from; });
  return out.playedMilliseconds() > from;
}

TEST_F(PcmOutputSoundTest, PositionFollowsWhatIsHeardThroughPauseResumeAndStop) {
  const int rate = Server().options().rate;
  BufferSource src(Tones(rate, {1000, 3000}, 8.0));
  PcmOutput out(PcmFormat{rate, 2});
  int finished = 0;
  out.setFinishedHandler([&] { ++finished; });
  MonitorRecorder recorder(Server());
  ASSERT_TRUE(recorder.ok()) << recorder.error();

  out.start(src.source());
  ASSERT_TRUE(WaitForPositionPast(out, 0));
  EXPECT_LT(out.playedMilliseconds(), 50) << "the position jumped when the sound began";
  ExpectPositionFollowsRealTime(out, 700ms);

  out.pause();
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Paused);
  const qint64 atPause = out.playedMilliseconds();
  const int callsAtPause = src.calls;
  PumpEvents(400ms);
  EXPECT_EQ(out.playedMilliseconds(), atPause);
  EXPECT_EQ(src.calls, callsAtPause) << "the source was called while paused";

  out.resume();
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Playing);
  ASSERT_TRUE(WaitForPositionPast(out, atPause));
  EXPECT_LT(out.playedMilliseconds(), atPause + 50);  // on from where it paused, no jump
  ExpectPositionFollowsRealTime(out, 600ms);

  const qint64 atStop = out.playedMilliseconds();
  out.stop();
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Stopped);
  EXPECT_EQ(out.playedMilliseconds(), 0);
  const int callsAtStop = src.calls;
  PumpEvents(300ms);
  EXPECT_EQ(src.calls, callsAtStop) << "the source was called after stop()";
  EXPECT_EQ(finished, 0);
  const std::vector<std::int16_t> heard = recorder.stop();

  // Two stretches of sound: before the pause and after it, as long as the position said,
  // and sample for sample the source's start, going on after the pause where it broke off.
  const std::vector<Span> spans = SoundSpans(heard, 2, 0, rate, 100);
  ASSERT_EQ(spans.size(), 2u);
  const auto ms = [&](std::int64_t frames) { return 1000.0 * static_cast<double>(frames) / rate; };
  EXPECT_NEAR(ms(spans[0].frames()), static_cast<double>(atPause), 50);
  EXPECT_NEAR(ms(spans[1].frames()), static_cast<double>(atStop - atPause), 50);
  const Match before = FindExactly(heard, src.samples, 2);
  ASSERT_TRUE(before.found);
  EXPECT_NEAR(static_cast<double>(before.offsetFrames + before.matchingFrames),
              static_cast<double>(spans[0].end), 2);
  const std::vector<std::int16_t> rest(src.samples.begin() + before.matchingFrames * 2, src.samples.end());
  const std::vector<std::int16_t> afterPause(heard.begin() + spans[0].end * 2, heard.end());
  const Match after = FindExactly(afterPause, rest, 2);
  ASSERT_TRUE(after.found) << "the sound after the pause is not where the source had got to";
  EXPECT_NEAR(static_cast<double>(after.offsetFrames + after.matchingFrames),
              static_cast<double>(spans[1].end - spans[0].end), 2);

  // A new start plays from the beginning of its own source.
  BufferSource again(Tones(rate, {500, 500}, 0.3));
  out.start(again.source());
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Playing);
  PumpEvents(5s, [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(out.playedMilliseconds(), 300);
}

TEST_F(PcmOutputSoundTest, PlaybackGoesOnWhileTheUserInterfaceThreadIsBusy) {
  const int rate = Server().options().rate;
  BufferSource src(Tones(rate, {1000, 3000}, 2.0));
  PcmOutput out(PcmFormat{rate, 2});
  const Recording r = RecordPlayback(
      Server(),
      [&] {
        out.start(src.source());
        WaitForPositionPast(out, 100);
        // Longer than the sound server holds: the audio must come from elsewhere meanwhile.
        std::this_thread::sleep_for(700ms);
      },
      [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  ASSERT_FALSE(r.timedOut);
  EXPECT_FALSE(src.onMainThread);
  const ChannelSound left = r.channel(0);
  EXPECT_NEAR(left.lengthMs, 2000, 2);
  EXPECT_LT(left.longestGapMs, 1);
  EXPECT_GT(left.quietest, 0.9);
  const Match m = FindExactly(r.samples, src.samples, 2);
  EXPECT_EQ(m.matchingFrames, static_cast<std::int64_t>(src.samples.size() / 2));
}

TEST_F(PcmOutputSoundTest, SoundShorterThanTheServersBufferIsHeardWhole) {
  const int rate = Server().options().rate;
  BufferSource src(Tones(rate, {1000, 3000}, 0.08));
  PcmOutput out(PcmFormat{rate, 2});
  int finished = 0;
  out.setFinishedHandler([&] { ++finished; });
  const Recording r = RecordPlayback(
      Server(), [&] { out.start(src.source()); }, [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(finished, 1);
  const Match m = FindExactly(r.samples, src.samples, 2);
  EXPECT_EQ(m.matchingFrames, static_cast<std::int64_t>(src.samples.size() / 2));
  const double heardAtEnd = 1000.0 * static_cast<double>(r.finishedAtFrame) / rate - r.channel(0).onsetMs;
  EXPECT_GT(heardAtEnd, 80 - 50);
  EXPECT_LT(heardAtEnd, 80 + 150);
}

TEST_F(PcmOutputSoundTest, SourceGivingOddSizesStillPlaysWholeFrames) {
  // A decoder hands out what it has; a partial frame must wait for its other half.
  const int rate = Server().options().rate;
  BufferSource src(Tones(rate, {1000, 3000}, 1.0));
  PcmOutput out(PcmFormat{rate, 2});
  auto whole = src.source();
  int call = 0;
  const Recording r = RecordPlayback(
      Server(),
      [&] {
        out.start([&](char* data, qint64 max) {
          return whole(data, std::min<qint64>(max, 1001 + 2 * (call++ % 3)));
        });
      },
      [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  ASSERT_FALSE(r.timedOut);
  const Match m = FindExactly(r.samples, src.samples, 2);
  EXPECT_EQ(m.matchingFrames, static_cast<std::int64_t>(src.samples.size() / 2));
}

// The server dies under a playing output. Runs in a child process with a server of its own:
// Qt's sound client stays without a server for the rest of the process.
void PlayWhileTheServerDies() {
  PulseServer server;
  ASSERT_TRUE(server.error().empty()) << server.error();
  server.useForThisProcess();
  const int rate = server.options().rate;
  BufferSource src(Tones(rate, {1000, 3000}, 10.0));
  PcmOutput out(PcmFormat{rate, 2});
  int finished = 0, failed = 0;
  out.setFinishedHandler([&] { ++finished; });
  out.setFailedHandler([&] { ++failed; });
  out.start(src.source());
  ASSERT_TRUE(WaitForPositionPast(out, 300));
  ASSERT_FALSE(out.silent());

  server.kill();
  PumpEvents(5s, [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  ASSERT_EQ(out.mode(), PcmOutput::Mode::Stopped);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(finished, 0);
  const qint64 brokeOff = out.playedMilliseconds();
  EXPECT_GE(brokeOff, 300);
  EXPECT_LT(brokeOff, 2000);
  const int calls = src.calls;
  PumpEvents(300ms);
  EXPECT_EQ(out.playedMilliseconds(), brokeOff);
  EXPECT_EQ(src.calls, calls);

  // With the server gone a new playback still ends, and nothing hangs.
  BufferSource next(Tones(rate, {1000, 3000}, 0.2));
  out.start(next.source());
  PumpEvents(5s, [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Stopped);
  EXPECT_EQ(finished + failed, 2);
  if (out.silent()) {
    EXPECT_EQ(finished, 1);
  }
}

TEST(PcmOutputServerDeathTest, ServerDyingMidPlaybackStopsTheOutput) {
  EXPECT_EXIT(
      {
        PlayWhileTheServerDies();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
