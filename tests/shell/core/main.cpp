#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs the binary outside ctest's environment too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Disc images are drives: the tests' own folder of them, empty unless a test fills it.
  QTemporaryDir discs;
  qputenv("SONVERA_DISC_DIR", discs.path().toUtf8());
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
