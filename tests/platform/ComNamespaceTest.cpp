#include <gtest/gtest.h>

#include "platform/ComNamespace.h"

using namespace platform;

namespace {

struct NameCase {
  const char* name;
  int comNumber;
};

class ComNames : public testing::TestWithParam<NameCase> {};

TEST_P(ComNames, Parse) {
  EXPECT_EQ(ParseComName(GetParam().name), GetParam().comNumber);
}

INSTANTIATE_TEST_SUITE_P(ComNamespace, ComNames,
                         testing::Values(NameCase{"\\\\.\\COM1", 1}, NameCase{"COM256", 256},
                                         NameCase{"com12", 12}, NameCase{"\\\\.\\com3", 3},
                                         NameCase{"COM", 0}, NameCase{"COM0", 0},
                                         NameCase{"COM01", 0}, NameCase{"COM1x", 0},
                                         NameCase{"LPT1", 0}, NameCase{"COM-1", 0},
                                         NameCase{"COM1234567890", 0}, NameCase{"", 0}));

struct Device : RegisteredComDevice {};

TEST(ComNamespace, RegisteredDevicesAreFoundUntilRemoved) {
  auto device = std::make_shared<Device>();
  RegisterComDevice(201, device);
  EXPECT_EQ(FindRegisteredComDevice(201), device);
  EXPECT_EQ(FindRegisteredComDevice(202), nullptr);
  auto replacement = std::make_shared<Device>();
  RegisterComDevice(201, replacement);
  EXPECT_EQ(FindRegisteredComDevice(201), replacement);
  RegisterComDevice(201, nullptr);
  EXPECT_EQ(FindRegisteredComDevice(201), nullptr);
}

TEST(ComNamespace, NumbersBelowOneNameNothing) {
  EXPECT_EQ(ResolveComPath(0), "");
  EXPECT_EQ(ResolveComPath(-3), "");
}

}  // namespace
