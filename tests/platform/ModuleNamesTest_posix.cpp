#include <gtest/gtest.h>

#include "platform/Modules.h"

namespace {

struct NameCase {
  const char* windowsName;
  const char* sharedObject;
};

class LibraryNames : public testing::TestWithParam<NameCase> {};

TEST_P(LibraryNames, MapToSharedObjects) {
  EXPECT_EQ(platform::MapLibraryName(GetParam().windowsName), GetParam().sharedObject);
}

INSTANTIATE_TEST_SUITE_P(Modules, LibraryNames,
                         testing::Values(NameCase{"QuorMgmt.DLL", "libquormgmt.so"},
                                         NameCase{"QUORMGMT.DLL", "libquormgmt.so"},
                                         NameCase{"setupapi.dll", "libsetupapi.so"},
                                         NameCase{"plain", "libplain.so"},
                                         NameCase{"/opt/x/libq.so", "/opt/x/libq.so"},
                                         NameCase{"./Rel.DLL", "./Rel.DLL"}));

}  // namespace
