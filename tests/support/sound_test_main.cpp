// main() for the test programs that play sound: no test reaches the desktop's own sound
// server (nothing is heard on a developer's speakers); SoundServerTest points the program
// at a private one.
#include "pulse_server.h"
#include "sound_check.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // A test that needs a process of its own re-runs this program; forking Qt's threads is unsafe.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  sv::test::UseNoSoundServer();
  QCoreApplication app(argc, argv);
  const int result = RUN_ALL_TESTS();
  // Qt's PulseAudio client can trip over its own teardown when the server goes away while it
  // is still connected (an assertion inside libpulse after every test has passed). The tests
  // are done: leave without tearing Qt down; the private server ends with this process.
  if (sv::test::PulseServer* server = sv::test::SoundServerTest::StartedServer())
    server->removeFilesForExit();
  std::fflush(nullptr);
  std::_Exit(result);
}
