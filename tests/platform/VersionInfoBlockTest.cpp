// The version block format: what the build writes is what every reader
// finds, and no query reads outside the bytes it is given.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/VersionInfoBlock.h"

using namespace platform;

namespace {

const std::vector<std::pair<std::string, std::string>> kValues = {
    {"\\StringFileInfo\\040904E4\\FileVersion", "1.0.0.0"},
    {"\\StringFileInfo\\040904E4\\FileDescription", "Board driver"},
    {"\\StringFileInfo\\040904B0\\FileVersion", "1.0.0.0"}};

struct QueryCase {
  const char* name;
  int cut;       // bytes taken off the end of what the query is given
  int statedBy;  // added to the total the header states
  const char* key;
  const char* expected;  // nullptr: no value
};

class VersionBlockQueries : public testing::TestWithParam<QueryCase> {};

TEST_P(VersionBlockQueries, StayInsideTheBlock) {
  auto block = EncodeVersionBlock(kValues);
  ASSERT_EQ(VersionBlockSize(block.data(), block.size()), block.size());
  block[4] = static_cast<std::uint8_t>(block[4] + GetParam().statedBy);
  const std::size_t given = block.size() - static_cast<std::size_t>(GetParam().cut);
  // Past what the query is given: no NUL, so a read beyond would find text.
  block.insert(block.end(), 32, 'x');
  const auto value = QueryVersionBlock(block.data(), given, GetParam().key);
  const char* expected = GetParam().expected;
  EXPECT_EQ(value, expected ? std::optional<std::string>(expected) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    VersionInfoBlock, VersionBlockQueries,
    testing::Values(QueryCase{"Found", 0, 0, "\\\\StringFileInfo\\\\040904E4\\\\FileDescription",
                              "Board driver"},
                    QueryCase{"TrailingSeparatorAndCase", 0, 0,
                              "\\stringfileinfo\\040904e4\\fileversion\\", "1.0.0.0"},
                    QueryCase{"MissingKey", 0, 0, "\\StringFileInfo\\040904E4\\Comments", nullptr},
                    QueryCase{"StatesMoreThanGiven", 1, 0,
                              "\\StringFileInfo\\040904B0\\FileVersion", nullptr},
                    QueryCase{"LastValueCutByTheStatedSize", 0, -3,
                              "\\StringFileInfo\\040904B0\\FileVersion", nullptr},
                    QueryCase{"EarlierValueStillFoundInAShortBlock", 0, -3,
                              "\\StringFileInfo\\040904E4\\FileDescription", "Board driver"}),
    [](const auto& info) { return info.param.name; });

struct SizeCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
};

class UnsoundBlocks : public testing::TestWithParam<SizeCase> {};

TEST_P(UnsoundBlocks, HaveNoSize) {
  const auto& bytes = GetParam().bytes;
  EXPECT_EQ(VersionBlockSize(bytes.data(), bytes.size()), 0u);
  EXPECT_FALSE(QueryVersionBlock(bytes.data(), bytes.size(), "\\"));
}

INSTANTIATE_TEST_SUITE_P(
    VersionInfoBlock, UnsoundBlocks,
    testing::Values(SizeCase{"Empty", {}}, SizeCase{"ShortHeader", {'Q', 'V', 'B', '1', 8, 0}},
                    SizeCase{"WrongMagic", {'Q', 'V', 'B', '2', 8, 0, 0, 0}},
                    SizeCase{"TotalInsideTheHeader", {'Q', 'V', 'B', '1', 7, 0, 0, 0}},
                    SizeCase{"TotalPastTheBytes", {'Q', 'V', 'B', '1', 9, 0, 0, 0}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
