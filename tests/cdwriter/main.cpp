#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Events of the control are delivered by this thread's event loop.
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
