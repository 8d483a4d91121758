// The recording checks must be able to fail: each is shown a fault it exists to catch.
#include "sound_check.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using namespace sv::test;

TEST(SoundCheckTest, MeasuresToneFrequencyLevelAndLength) {
  std::vector<std::int16_t> s(4800 * 2, 0);  // 100 ms of silence first
  const auto tones = Tones(48000, {440, 2500}, 0.75, 0.25);
  s.insert(s.end(), tones.begin(), tones.end());
  s.resize(s.size() + 4800 * 2, 0);
  const ChannelSound left = AnalyseChannel(s, 2, 0, 48000), right = AnalyseChannel(s, 2, 1, 48000);
  EXPECT_NEAR(left.frequencyHz, 440, 0.05);
  EXPECT_NEAR(right.frequencyHz, 2500, 0.5);
  EXPECT_NEAR(left.rms, 0.25 / std::sqrt(2.0), 0.002);
  EXPECT_NEAR(left.onsetMs, 100, 0.5);
  EXPECT_NEAR(left.lengthMs, 750, 1.5);
  EXPECT_GT(left.quietest, 0.95);
  EXPECT_LT(left.longestGapMs, 0.5);
}

TEST(SoundCheckTest, FindsDropoutsAndSplitsAtSilence) {
  auto s = Tones(48000, {1000, 1000}, 1.0);
  std::fill(s.begin() + 24000 * 2, s.begin() + 24240 * 2, 0);  // 5 ms lost in the middle
  const ChannelSound c = AnalyseChannel(s, 2, 0, 48000);
  EXPECT_GE(c.longestGapMs, 4.9);
  EXPECT_LT(c.quietest, 0.75);
  EXPECT_EQ(SoundSpans(s, 2, 0, 48000, 3).size(), 2u);
  EXPECT_EQ(SoundSpans(s, 2, 0, 48000, 20).size(), 1u);
}

TEST(SoundCheckTest, FindsAReferenceExactlyAndNoticesARepeat) {
  const auto ref = Tones(48000, {1000, 3000}, 0.2);
  std::vector<std::int16_t> rec(960 * 2, 0);
  rec.insert(rec.end(), ref.begin(), ref.end());
  Match m = FindExactly(rec, ref, 2);
  EXPECT_TRUE(m.found);
  EXPECT_EQ(m.offsetFrames, 960);
  EXPECT_EQ(m.matchingFrames, 9600);

  // 10 frames played twice at frame 4000.
  std::vector<std::int16_t> repeated(ref.begin(), ref.begin() + 4000 * 2);
  repeated.insert(repeated.end(), ref.begin() + 3990 * 2, ref.end());
  m = FindExactly(repeated, ref, 2);
  EXPECT_LT(m.matchingFrames, 9600);
}

// The failures a check reports, kept from the test's own result.
int Failures(const std::function<void()>& check) {
  ::testing::TestPartResultArray results;
  {
    const ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    check();
  }
  return results.size();
}

TEST(SoundCheckTest, SoundsLikeCatchesAWrongRateAndSwappedChannels) {
  const auto played = Tones(44100, {1000, 3000}, 1.0);
  Recording heard{48000, 2, Tones(48000, {1000, 3000}, 1.0)};
  ExpectSoundsLike(heard, played, 44100, 2);  // the same sound, resampled

  const auto check = [&] { ExpectSoundsLike(heard, played, 44100, 2); };
  heard.samples = played;  // 44.1 kHz samples taken as 48 kHz: the pitch is off on both sides
  EXPECT_EQ(Failures(check), 2);
  heard.samples = Tones(48000, {3000, 1000}, 1.0);  // channels swapped
  EXPECT_EQ(Failures(check), 2);
  heard.samples = Tones(48000, {1000, 3000}, 1.0, 0.25);  // 6 dB down
  EXPECT_EQ(Failures(check), 2);
}

}  // namespace
