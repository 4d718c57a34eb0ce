// The view tests run inside one QApplication whose GUI thread pumps the
// platform's window messages.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/qt/QtMessagePump.h"

int main(int argc, char** argv) {
  // Widget tests never need a display, also when ctest lists them.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  platform::QtMessagePump pump;
  return RUN_ALL_TESTS();
}
