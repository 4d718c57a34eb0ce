// Helpers for the terminal engine tests: reading a buffer back as text, and a
// view stand-in whose canvas records every run it is asked to draw.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "terminal/TerminalBuffer.h"
#include "terminal/TerminalHost.h"

namespace terminal {

// Coordinates and rectangles in test messages.
template <typename Tag>
void PrintTo(Coord<Tag> value, std::ostream* out) {
  *out << value.Value();
}
inline void PrintTo(const CellRect& rect, std::ostream* out) {
  *out << "{" << rect.left.Value() << ", " << rect.top.Value() << ", " << rect.right.Value() << ", "
       << rect.bottom.Value() << "}";
}

}  // namespace terminal

namespace terminal::test {

// A row's characters with trailing spaces removed.
std::string RowText(const TAdTerminalBuffer& buffer, ScreenRow row);

// The bytes of a string literal that may hold NULs: Bytes("A\0B", 3).
std::vector<std::uint8_t> Bytes(const std::string& text);

struct DrawnRun {
  int x;
  int y;
  std::string text;
  std::vector<std::int32_t> advances;
  int cellHeight;
  TerminalColor fore;
  TerminalColor back;
};

class RecordingCanvas : public TerminalCanvas {
 public:
  PixelRect ClipRect() const override { return clip; }
  void DrawRun(int x, int y, const char* text, int length, const std::int32_t* advances,
               int cellHeight, TerminalColor fore, TerminalColor back) override;

  PixelRect clip{0, 0, 0, 0};
  std::vector<DrawnRun> runs;
};

// A port without a device: records what is sent and what the view asks.
class FakePort : public TerminalPort {
 public:
  bool Open() const override { return open; }
  bool AutoOpen() const override { return autoOpen; }
  void OpenPort() override { open = true; }
  void SendChar(std::uint8_t ch) override { sent.push_back(ch); }
  void AddPortUser(platform::HWND window) override { users.push_back(window); }
  void RemovePortUser(platform::HWND window) override { std::erase(users, window); }
  bool AddDataHandler(const void* owner, DataHandler handler) override;
  void RemoveDataHandler(const void* owner) override;
  bool TakeInput(std::uint8_t* dest, std::size_t count) override;

  // Makes bytes available and calls the data handler, as the dispatcher does.
  void Receive(const std::string& bytes);

  bool open = true;
  bool autoOpen = false;
  std::vector<std::uint8_t> sent;
  std::vector<platform::HWND> users;
  const void* handlerOwner = nullptr;
  DataHandler handler;
  std::string input;
};

// An 80 x 24 view of 8 x 16 pixel cells showing screen rows 1..24.
class FakeHost : public TerminalHost {
 public:
  TerminalCanvas& Canvas() override { return canvas; }
  TerminalColor Color() const override { return color; }
  TerminalColor FontColor() const override { return fontColor; }
  bool HalfDuplex() const override { return halfDuplex; }
  TerminalPort* ComPort() const override { return port; }
  bool CursorMovedAssigned() const override { return listensToCursor; }
  void CursorMoved(ScreenRow row, Column col) override {
    cursorMoves.push_back({row.Value(), col.Value()});
  }
  int CharWidth() const override { return cellWidth; }
  int CharHeight() const override { return cellHeight; }
  Column ClientLeftCol() const override { return Column(leftCol); }
  ScreenRow ClientTopRow() const override { return ScreenRow(topRow); }
  int ClientCols() const override { return cols; }
  int ClientRows() const override { return rows; }
  void Beep() override { ++beeps; }

  RecordingCanvas canvas;
  TerminalColor color = kColorBlack;
  TerminalColor fontColor = kColorSilver;
  bool halfDuplex = false;
  TerminalPort* port = nullptr;
  bool listensToCursor = false;
  std::vector<std::pair<int, int>> cursorMoves;
  int cellWidth = 8;
  int cellHeight = 16;
  int leftCol = 1;
  int topRow = 1;
  int cols = 80;
  int rows = 24;
  int beeps = 0;
};

}  // namespace terminal::test
