#include "tests/terminal/TerminalTestSupport.h"

namespace terminal::test {

std::string RowText(const TAdTerminalBuffer& buffer, int row) {
  const std::uint8_t* chars = buffer.RowChars(row);
  if (!chars) return "<no row>";
  std::string text(chars, chars + buffer.ColCount());
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

void RecordingCanvas::DrawRun(int x, int y, const char* text, int length,
                              const std::int32_t* advances, int cellHeight, TerminalColor fore,
                              TerminalColor back) {
  runs.push_back({x, y, std::string(text, std::size_t(length)),
                  std::vector<std::int32_t>(advances, advances + length), cellHeight, fore, back});
}

}  // namespace terminal::test
