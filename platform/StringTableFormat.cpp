#include "platform/StringTableFormat.h"

#include <sstream>

namespace platform {
namespace {

[[noreturn]] void Fail(int line, const std::string& what) {
  throw StringTableSourceError("line " + std::to_string(line) + ": " + what);
}

std::string Unescape(const std::string& text, int line) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) Fail(line, "backslash at the end of the line");
    switch (text[i]) {
      case '\\':
        out.push_back('\\');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'n':
        out.push_back('\n');
        break;
      default:
        Fail(line, std::string("unknown escape \\") + text[i]);
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(const std::string& text, int line) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80         ? 0
                      : (lead >> 5) == 6  ? 1
                      : (lead >> 4) == 14 ? 2
                      : (lead >> 3) == 30 ? 3
                                          : -1;
    if (extra < 0 || text.size() - i <= static_cast<std::size_t>(extra))
      Fail(line, "text is not UTF-8");
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) Fail(line, "text is not UTF-8");
      code = code << 6 | (next & 0x3F);
    }
    i += extra + 1;
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) Fail(line, "text is not UTF-8");
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

StringTableEntries ParseStringTableSource(const std::string& source) {
  StringTableEntries entries;
  std::istringstream lines(source);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t gap = line.find_first_of(" \t");
    const std::string idText = line.substr(0, gap);
    if (idText.empty() || idText.size() > 10 ||
        idText.find_first_not_of("0123456789") != std::string::npos)
      Fail(number, "expected a decimal id");
    const unsigned long long id = std::stoull(idText);
    if (id > 0xFFFFFFFFull) Fail(number, "id out of range");
    const std::string text = gap == std::string::npos ? "" : line.substr(gap + 1);
    if (!entries
             .emplace(static_cast<std::uint32_t>(id), Utf8ToUtf16(Unescape(text, number), number))
             .second)
      Fail(number, "duplicate id " + idText);
  }
  return entries;
}

std::vector<std::uint8_t> EncodeStringTable(const StringTableEntries& entries) {
  const std::size_t indexEnd = 8 + 12 * entries.size();
  std::size_t total = indexEnd;
  for (const auto& [id, text] : entries) total += 2 * text.size();
  std::vector<std::uint8_t> out(total);
  out[0] = 'S', out[1] = 'T', out[2] = 'R', out[3] = '0';
  PutU32(out, 4, static_cast<std::uint32_t>(entries.size()));
  std::size_t index = 8, textAt = indexEnd;
  for (const auto& [id, text] : entries) {  // std::map keeps ids ascending
    PutU32(out, index, id);
    PutU32(out, index + 4, static_cast<std::uint32_t>(textAt));
    PutU32(out, index + 8, static_cast<std::uint32_t>(text.size()));
    index += 12;
    for (char16_t unit : text) {
      out[textAt++] = static_cast<std::uint8_t>(unit & 0xFF);
      out[textAt++] = static_cast<std::uint8_t>(unit >> 8);
    }
  }
  return out;
}

}  // namespace platform
