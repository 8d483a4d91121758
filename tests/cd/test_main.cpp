// Page 2 runs through the real widgets without a display or a sound device.
#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>

#include "platform/pcm_output.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  QApplication app(argc, argv);
  sv::PcmOutput::ForceSilent(true);
  return RUN_ALL_TESTS();
}
