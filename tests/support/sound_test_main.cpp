// main() for the test programs that play sound: no test reaches the desktop's own sound
// server (nothing is heard on a developer's speakers); SoundServerTest points the program
// at a private one.
#include "pulse_server.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // A test that needs a process of its own re-runs this program; forking Qt's threads is unsafe.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  sv::test::UseNoSoundServer();
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
