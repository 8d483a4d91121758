// The PCM output on a machine where no sound server runs (the test program points its
// sound client at an address where nothing listens).
#include "platform/pcm_output.h"
#include "sound_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace {

using namespace sv;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(PcmOutputNoServerTest, FallsBackToTheSilentSinkAtTheRealTimeRate) {
  PcmOutput out(PcmFormat{48000, 2});
  qint64 given = 0;
  const qint64 total = 48000 * 4 * 3 / 10;  // 300 ms
  int finished = 0;
  out.setFinishedHandler([&] { ++finished; });
  const auto t0 = Clock::now();
  out.start([&](char* data, qint64 max) {
    const qint64 n = std::min(max, total - given);
    std::memset(data, 0, static_cast<std::size_t>(n));
    given += n;
    return n;
  });
  EXPECT_TRUE(out.silent());
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Playing);
  sv::test::PumpEvents(5s, [&] { return out.mode() == PcmOutput::Mode::Stopped; });
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Stopped);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(given, total);
  EXPECT_EQ(out.playedMilliseconds(), 300);
  EXPECT_GE(took, 300);  // played at the real-time rate, not at once
}

}  // namespace
