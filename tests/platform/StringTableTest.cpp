#include <gtest/gtest.h>

#include <cstring>

#include "platform/Resources.h"
#include "platform/StringTableFormat.h"

using namespace platform;

namespace {

std::uint32_t U32(const std::uint8_t* at) {
  return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// Reads a table the way a consumer does, independent of the encoder.
std::optional<std::u16string> Lookup(const std::uint8_t* data, std::size_t size, std::uint32_t id) {
  if (size < 8 || std::memcmp(data, "STR0", 4) != 0) return std::nullopt;
  const std::uint32_t count = U32(data + 4);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = data + 8 + 12 * i;
    if (U32(entry) != id) continue;
    std::u16string text;
    const std::uint8_t* chars = data + U32(entry + 4);
    for (std::uint32_t k = 0; k < U32(entry + 8); ++k)
      text.push_back(static_cast<char16_t>(chars[2 * k] | chars[2 * k + 1] << 8));
    return text;
  }
  return std::nullopt;
}

TEST(StringTable, RoundTripKeepsIdsAscendingAndTextsExact) {
  const auto entries = ParseStringTableSource(
      "# comment\n"
      "3 third\n"
      "\n"
      "0 OK\n"
      "1\tString not found: %d\r\n"
      "4294967295 last\n"
      "7 tab\\there, back\\\\slash\n"
      "9 gr\xc3\xbc\xc3\x9f \xf0\x9f\x98\x80\n"
      "8\n");
  const auto bytes = EncodeStringTable(entries);
  ASSERT_EQ(std::memcmp(bytes.data(), "STR0", 4), 0);
  ASSERT_EQ(U32(bytes.data() + 4), 7u);
  std::uint32_t previous = 0;
  for (std::uint32_t i = 0; i < 7; ++i) {
    const std::uint32_t id = U32(bytes.data() + 8 + 12 * i);
    if (i > 0) {
      EXPECT_GT(id, previous);
    }
    previous = id;
  }
  EXPECT_EQ(Lookup(bytes.data(), bytes.size(), 0), u"OK");
  EXPECT_EQ(Lookup(bytes.data(), bytes.size(), 1), u"String not found: %d");
  EXPECT_EQ(Lookup(bytes.data(), bytes.size(), 7), u"tab\there, back\\slash");
  EXPECT_EQ(Lookup(bytes.data(), bytes.size(), 9), u"gr\u00fc\u00df \U0001F600");
  EXPECT_EQ(Lookup(bytes.data(), bytes.size(), 8), u"");
  EXPECT_EQ(Lookup(bytes.data(), bytes.size(), 4294967295u), u"last");
  EXPECT_FALSE(Lookup(bytes.data(), bytes.size(), 2));
}

struct BadSource {
  const char* name;
  const char* source;
  const char* message;
};

class BadSources : public testing::TestWithParam<BadSource> {};

TEST_P(BadSources, AreRefusedNamingTheLine) {
  try {
    ParseStringTableSource(GetParam().source);
    FAIL() << "accepted";
  } catch (const StringTableSourceError& error) {
    EXPECT_STREQ(error.what(), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    StringTable, BadSources,
    testing::Values(BadSource{"NoId", "1 a\nabc\n", "line 2: expected a decimal id"},
                    BadSource{"NegativeId", "-1 a\n", "line 1: expected a decimal id"},
                    BadSource{"IdTooBig", "4294967296 a\n", "line 1: id out of range"},
                    BadSource{"Duplicate", "5 a\n\n5 b\n", "line 3: duplicate id 5"},
                    BadSource{"BadEscape", "5 a\\q\n", "line 1: unknown escape \\q"},
                    BadSource{"TrailingBackslash", "5 a\\\n",
                              "line 1: backslash at the end of the line"},
                    BadSource{"NotUtf8", "5 \xff\n", "line 1: text is not UTF-8"},
                    BadSource{"CutUtf8", "5 \xc3\n", "line 1: text is not UTF-8"}),
    [](const auto& info) { return info.param.name; });

TEST(StringTable, LinkedTableIsFoundByNameInAnyCase) {
  auto table = FindRawResource("QUOR_TEST_STRINGS");
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(Lookup(table->data, table->size, 1), u"String not found: %d");
  EXPECT_EQ(Lookup(table->data, table->size, 5), u"Invalid KeshString resource");
  EXPECT_TRUE(FindRawResource("quor_test_strings").has_value());
  EXPECT_FALSE(FindRawResource("NO_SUCH_STRINGS").has_value());
}

}  // namespace
