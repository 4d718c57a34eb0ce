#include "tests/terminal/TerminalTestSupport.h"

#include <cstring>

namespace terminal::test {

std::string RowText(const TAdTerminalBuffer& buffer, ScreenRow row) {
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

bool FakePort::AddDataHandler(const void* owner, DataHandler newHandler) {
  if (!open) return false;
  handlerOwner = owner;
  handler = std::move(newHandler);
  return true;
}

void FakePort::RemoveDataHandler(const void* owner) {
  if (owner != handlerOwner) return;
  handlerOwner = nullptr;
  handler = nullptr;
}

bool FakePort::TakeInput(std::uint8_t* dest, std::size_t count) {
  if (count > input.size()) return false;
  std::memcpy(dest, input.data(), count);
  input.erase(0, count);
  return true;
}

void FakePort::Receive(const std::string& bytes) {
  input += bytes;
  if (handler) handler(0x7E01, input.size());
}

}  // namespace terminal::test
