#include "platform/events.h"
#include "platform/pcm_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using namespace sv;

// A source of n bytes of a constant pattern that counts what it handed out.
struct CountingSource {
  qint64 total;
  qint64 given = 0;
  qint64 operator()(char* data, qint64 max) {
    const qint64 n = std::min(max, total - given);
    std::memset(data, 0x11, static_cast<std::size_t>(n));
    given += n;
    return n;
  }
};

// Runs the event loop until the output stops (bounded, so a fault cannot hang the run).
void runUntilStopped(PcmOutput& out) {
  for (int i = 0; i < 2000 && out.mode() != PcmOutput::Mode::Stopped; ++i) {
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

class PcmOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { PcmOutput::ForceSilent(true); }
  void TearDown() override { PcmOutput::ForceSilent(false); }
};

TEST_F(PcmOutputTest, SilentSinkPlaysEverythingAndReportsTheEnd) {
  PcmOutput out;                   // 44100 Hz stereo: 176400 bytes a second
  CountingSource src{176400 / 5};  // 200 ms
  int finished = 0;
  out.setFinishedHandler([&] { ++finished; });
  out.start([&](char* d, qint64 m) { return src(d, m); });
  EXPECT_TRUE(out.silent());
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Playing);
  runUntilStopped(out);
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Stopped);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(src.given, src.total);
  EXPECT_EQ(out.playedMilliseconds(), 200);
}

TEST_F(PcmOutputTest, PositionHoldsStillWhilePaused) {
  PcmOutput out(PcmFormat{22050, 1});
  CountingSource src{44100 * 10};  // 10 s, far longer than the test runs
  out.start([&](char* d, qint64 m) { return src(d, m); });
  for (int i = 0; i < 20; ++i) {
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  out.pause();
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Paused);
  const qint64 at = out.playedMilliseconds();
  const qint64 taken = src.given;
  EXPECT_GT(at, 0);
  for (int i = 0; i < 20; ++i) {
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(out.playedMilliseconds(), at);
  EXPECT_EQ(src.given, taken);
  // The silent sink never takes more than real time has played.
  EXPECT_LE(taken, (at + 1) * 44100 / 1000 + 1);

  out.resume();
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Playing);
  out.stop();
  EXPECT_EQ(out.mode(), PcmOutput::Mode::Stopped);
  EXPECT_EQ(out.playedMilliseconds(), 0);
}

TEST_F(PcmOutputTest, StopDoesNotReportAnEndAndStartRestarts) {
  PcmOutput out;
  int finished = 0;
  out.setFinishedHandler([&] { ++finished; });
  CountingSource first{176400};
  out.start([&](char* d, qint64 m) { return first(d, m); });
  DoEvents();
  out.stop();
  EXPECT_EQ(finished, 0);

  CountingSource empty{0};
  out.start([&](char* d, qint64 m) { return empty(d, m); });
  runUntilStopped(out);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(out.playedMilliseconds(), 0);
}

}  // namespace
