// The binary string-table format and its readable source.
//
// Binary (all integers u32 little-endian): "STR0", entry count n, n index
// entries (id, offset of the text from the start, length in UTF-16 units)
// ascending by id, then the UTF-16LE texts without terminators.
//
// Source: UTF-8 text, one entry a line, "<id> <text>"; the text runs from
// after the first space or tab to the end of the line and may use \\, \t, \n.
// Blank lines and lines starting with '#' are ignored.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

using StringTableEntries = std::map<std::uint32_t, std::u16string>;

struct StringTableSourceError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws StringTableSourceError naming the line for a malformed line, an id
// out of range, a duplicate id or text that is not UTF-8.
StringTableEntries ParseStringTableSource(const std::string& source);

std::vector<std::uint8_t> EncodeStringTable(const StringTableEntries& entries);

}  // namespace platform
