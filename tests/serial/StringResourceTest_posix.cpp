// String tables registered by the test itself (the program's resources are
// linked in by the build on POSIX; on Windows they are the program file's).
#include <gtest/gtest.h>

#include "platform/Resources.h"
#include "serial/StringResource.h"

namespace serial {
namespace {

// Test resources, registered like the generated ones.
std::vector<std::uint8_t> Table(std::initializer_list<std::uint32_t> words,
                                const std::u16string& texts) {
  std::vector<std::uint8_t> bytes = {'S', 'T', 'R', '0'};
  for (std::uint32_t w : words)
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
  for (char16_t c : texts) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

// count 2: id 7 -> "ab" at 32, id 9 -> "\u00e9" at 36
const std::vector<std::uint8_t> kGoodTable = Table({2, 7, 32, 2, 9, 36, 1}, u"ab\u00e9");
// the second entry points past the end
const std::vector<std::uint8_t> kOutOfBounds = Table({2, 7, 32, 2, 9, 36, 50}, u"ab\u00e9");
// ids not ascending
const std::vector<std::uint8_t> kUnsorted = Table({2, 9, 32, 2, 7, 36, 1}, u"ab\u00e9");
// more entries than the resource holds
const std::vector<std::uint8_t> kShortIndex = Table({1000}, u"");
const std::vector<std::uint8_t> kBadMagic = [] {
  auto bytes = kGoodTable;
  bytes[3] = '1';
  return bytes;
}();

const platform::RawResourceRegistration kRegistrations[] = {
    {"TEST_GOOD_TABLE", kGoodTable.data(), kGoodTable.size()},
    {"TEST_OUT_OF_BOUNDS", kOutOfBounds.data(), kOutOfBounds.size()},
    {"TEST_UNSORTED", kUnsorted.data(), kUnsorted.size()},
    {"TEST_SHORT_INDEX", kShortIndex.data(), kShortIndex.size()},
    {"TEST_BAD_MAGIC", kBadMagic.data(), kBadMagic.size()},
};

TEST(StringResourceTest, LooksUpEntriesAndConvertsText) {
  TAdStringResource table("TEST_GOOD_TABLE");
  EXPECT_EQ(table.GetString(7), "ab");
  EXPECT_EQ(table.GetString(9), "\u00e9");
  EXPECT_EQ(table.GetString(8), "");
}

TEST(StringResourceTest, RaisesForAMissingIdWhenAsked) {
  TAdStringResource table("TEST_GOOD_TABLE");
  table.SetRaiseOnMissing(true);
  try {
    table.GetString(77);
    FAIL();
  } catch (const EKeshStringResourceError& e) {
    EXPECT_STREQ(e.what(), "String not found: 77");
  }
}

class MalformedTableTest : public testing::TestWithParam<const char*> {};

TEST_P(MalformedTableTest, IsRefusedAtCreation) {
  try {
    TAdStringResource table(GetParam());
    FAIL();
  } catch (const EKeshStringResourceError& e) {
    EXPECT_STREQ(e.what(), "Invalid KeshString resource");
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, MalformedTableTest,
                         testing::Values("TEST_OUT_OF_BOUNDS", "TEST_UNSORTED", "TEST_SHORT_INDEX",
                                         "TEST_BAD_MAGIC"));

}  // namespace
}  // namespace serial
