// Arbitrary received bytes, dimension changes and paints against the buffer's
// invariants: the cursor on the screen, every row of every plane readable,
// runs within the paint buffers and the view.
//
// Input: a stream of chunks. 0xFE a b c changes a dimension (a % 3: columns,
// rows, scrollback) to b % 160 * 2 + c % 2 - 1 (so 0 and 1 are tried too); 0xFD a b
// repaints with a clip rectangle derived from a and b; any other byte up to
// the next 0xFE/0xFD is received as data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "terminal/TTYEmulator.h"
#include "terminal/TerminalError.h"
#include "tests/terminal/TerminalTestSupport.h"

namespace {

using terminal::TAdTerminalBuffer;

void check(bool condition) {
  if (!condition) std::abort();
}

// After every step: the cursor and the dimensions.
void checkCursor(const TAdTerminalBuffer& buffer) {
  check(buffer.ColCount() >= 2 && buffer.RowCount() >= 2);
  check(buffer.RowCount() <= buffer.SVRowCount());
  check(buffer.CursorRow().Value() >= 1 && buffer.CursorRow().Value() <= buffer.RowCount());
  check(buffer.CursorCol().Value() >= 1 && buffer.CursorCol().Value() <= buffer.ColCount());
  check(!buffer.WrapPending() || buffer.CursorCol().Value() == buffer.ColCount());
}

// At the end: every row of every plane.
void checkPlanes(const TAdTerminalBuffer& buffer) {
  check(buffer.RowChars(buffer.OldestRow() - 1) == nullptr);
  check(buffer.RowChars(buffer.BottomRow() + 1) == nullptr);
  unsigned sum = 0;
  for (int row = buffer.OldestRow().Value(); row <= buffer.RowCount(); ++row) {
    const std::uint8_t* chars = buffer.RowChars(terminal::ScreenRow(row));
    const std::uint8_t* attrs = buffer.RowAttrs(terminal::ScreenRow(row));
    const terminal::TerminalColor* fores = buffer.RowForeColors(terminal::ScreenRow(row));
    const terminal::TerminalColor* backs = buffer.RowBackColors(terminal::ScreenRow(row));
    check(chars && attrs && fores && backs);
    // Every cell is read, so a plane shorter than ColCount shows up.
    for (int col = 0; col < buffer.ColCount(); ++col)
      sum += chars[col] + attrs[col] + fores[col] + backs[col];
  }
  check(sum != 1);  // keeps the reads
}

// Checks every run as it is drawn: within the paint buffers and the view.
class CheckingCanvas : public terminal::TerminalCanvas {
 public:
  explicit CheckingCanvas(const terminal::test::FakeHost& host) : host_(host) {}
  terminal::PixelRect ClipRect() const override { return clip; }
  void DrawRun(int x, int y, const char* text, int length, const std::int32_t* advances,
               int cellHeight, terminal::TerminalColor, terminal::TerminalColor) override {
    check(length >= 1 && length <= terminal::TAdTTYEmulator::kMaxRunChars);
    check(text[length] == 0 && advances[length - 1] == host_.cellWidth);
    check(cellHeight == host_.cellHeight);
    check(x >= 0 && x + length * host_.cellWidth <= host_.cols * host_.cellWidth);
    check(y >= 0 && y < host_.rows * host_.cellHeight);
  }
  terminal::PixelRect clip{0, 0, 0, 0};

 private:
  const terminal::test::FakeHost& host_;
};

class FuzzHost : public terminal::test::FakeHost {
 public:
  terminal::TerminalCanvas& Canvas() override { return checking; }
  CheckingCanvas checking{*this};
};

void changeDimension(TAdTerminalBuffer& buffer, int which, int value) {
  int cols = buffer.ColCount();
  int rows = buffer.RowCount();
  int total = buffer.SVRowCount();
  try {
    if (which == 0) buffer.SetColCount(value);
    if (which == 1) buffer.SetRowCount(value);
    if (which == 2) buffer.SetSVRowCount(value);
    check(value >= 2);
  } catch (const terminal::TerminalError&) {
    check(value < 2);
    check(buffer.ColCount() == cols && buffer.RowCount() == rows && buffer.SVRowCount() == total);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzHost host;
  terminal::test::FakePort port;
  host.port = &port;
  terminal::TAdTTYEmulator emulator;
  emulator.SetTerminal(&host);
  TAdTerminalBuffer& buffer = emulator.Buffer();
  std::size_t at = 0;
  while (at < size) {
    if (data[at] == 0xFE && at + 3 < size) {
      changeDimension(buffer, data[at + 1] % 3, data[at + 2] % 160 * 2 + data[at + 3] % 2 - 1);
      host.cols = buffer.ColCount();
      host.rows = buffer.RowCount();
      at += 4;
    } else if (data[at] == 0xFD && at + 2 < size) {
      host.topRow = buffer.OldestRow().Value() + data[at + 1] % (buffer.SVRowCount());
      host.rows = buffer.RowCount() - host.topRow + 1;
      host.checking.clip = {data[at + 2] % 50, data[at + 1] % 70, 2400, 600};
      emulator.Paint();
      host.topRow = 1;
      host.rows = buffer.RowCount();
      at += 3;
    } else {
      std::size_t end = at + 1;
      while (end < size && data[end] != 0xFE && data[end] != 0xFD) ++end;
      emulator.HandleReceivedBlock(data + at, end - at);
      host.halfDuplex = (end - at) % 2 != 0;
      std::uint8_t typed = data[at];
      emulator.KeyPress(typed);
      emulator.DeferredRepaint();
      at = end;
    }
    checkCursor(buffer);
  }
  checkPlanes(buffer);
  return 0;
}
