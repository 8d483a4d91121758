#include "platform/pcm_output.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The main window records its installation in a registry of the test's own.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  QApplication app(argc, argv);
  // Previews play at the real-time rate on the silent sink, sound device or not.
  sv::PcmOutput::ForceSilent(true);
  return RUN_ALL_TESTS();
}
