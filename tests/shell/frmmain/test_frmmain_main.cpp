#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The installation record goes to a registry of the test's own.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  // Disc images are drives: the tests' own, empty folder of them.
  QTemporaryDir discs;
  qputenv("SONVERA_DISC_DIR", discs.path().toUtf8());
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
