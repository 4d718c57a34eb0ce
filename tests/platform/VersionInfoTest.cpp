#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Modules.h"
#include "platform/VersionInfo.h"

using namespace platform;

namespace {

std::vector<char> ReadBlock(const std::string& file) {
  const std::uint32_t size = GetFileVersionInfoSize(file);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!GetFileVersionInfo(file, size, block.data())) return {};
  return block;
}

struct KeyCase {
  const char* name;
  const char* key;
  const char* expected;  // nullptr: no value
};

class ProgramVersionKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(ProgramVersionKeys, AnswerLikeVerQueryValue) {
  auto block = ReadBlock(ProgramFilePath());
  ASSERT_FALSE(block.empty());
  auto value = VerQueryValue(block.data(), GetParam().key);
  const char* expected = GetParam().expected;
  EXPECT_EQ(value, expected ? std::optional<std::string>(expected) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    VersionInfo, ProgramVersionKeys,
    testing::Values(
        KeyCase{"DoubledBackslashes", "\\\\StringFileInfo\\\\040904E4\\\\FileVersion",
                QUOR_TEST_VERSION},
        KeyCase{"SingleBackslashes", "\\StringFileInfo\\040904E4\\FileVersion", QUOR_TEST_VERSION},
        KeyCase{"UnicodeTable", "\\StringFileInfo\\040904B0\\ProductVersion", QUOR_TEST_VERSION},
        KeyCase{"Description", "\\\\StringFileInfo\\\\040904E4\\\\FileDescription",
                "Platform tests"},
        KeyCase{"NameCase", "\\stringfileinfo\\040904e4\\filedescription", "Platform tests"},
        KeyCase{"MissingValue", "\\\\StringFileInfo\\\\040904E4\\\\Comments", nullptr},
        KeyCase{"MissingTable", "\\\\StringFileInfo\\\\040704E4\\\\FileVersion", nullptr}),
    [](const auto& info) { return info.param.name; });

TEST(VersionInfo, LibraryFoundByBareNameWithoutFileVersion) {
  auto block = ReadBlock("ModAttach.DLL");
  ASSERT_FALSE(block.empty());
  EXPECT_FALSE(VerQueryValue(block.data(), "\\\\StringFileInfo\\\\040904E4\\\\FileVersion"));
  EXPECT_EQ(VerQueryValue(block.data(), "\\\\StringFileInfo\\\\040904E4\\\\FileDescription"),
            "Module probe");
}

TEST(VersionInfo, FilesWithoutABlockAnswerNothing) {
  EXPECT_EQ(GetFileVersionInfoSize("ModRefuse.DLL"), 0u);
  EXPECT_EQ(GetFileVersionInfoSize("NoSuchLibrary.DLL"), 0u);
  char room[16];
  EXPECT_FALSE(GetFileVersionInfo("NoSuchLibrary.DLL", sizeof room, room));
}

}  // namespace
