#include <gtest/gtest.h>

#include "platform/ComNamespace.h"

TEST(ComNamespace, WindowsNamesTheDeviceItself) {
  EXPECT_EQ(platform::ResolveComPath(1), "\\\\.\\COM1");
  EXPECT_EQ(platform::ResolveComPath(12), "\\\\.\\COM12");
}
