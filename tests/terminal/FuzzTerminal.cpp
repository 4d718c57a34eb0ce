// Arbitrary received bytes, dimension changes and paints against the buffer's
// invariants: the cursor on the screen, every row of every plane readable,
// runs within the paint buffers and the view.
//
// Input: a stream of chunks. 0xFE a b c changes a dimension (a % 3: columns,
// rows, scrollback) to b * 2 + c % 2 - 1 (so 0 and 1 are tried too); 0xFD a b
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

void checkInvariants(const TAdTerminalBuffer& buffer) {
  check(buffer.ColCount() >= 2 && buffer.RowCount() >= 2);
  check(buffer.RowCount() <= buffer.SVRowCount());
  check(buffer.CursorRow() >= 1 && buffer.CursorRow() <= buffer.RowCount());
  check(buffer.CursorCol() >= 1 && buffer.CursorCol() <= buffer.ColCount());
  check(!buffer.WrapPending() || buffer.CursorCol() == buffer.ColCount());
  check(buffer.RowChars(buffer.OldestRow() - 1) == nullptr);
  check(buffer.RowChars(buffer.RowCount() + 1) == nullptr);
  unsigned sum = 0;
  for (int row = buffer.OldestRow(); row <= buffer.RowCount(); ++row) {
    const std::uint8_t* chars = buffer.RowChars(row);
    const std::uint8_t* attrs = buffer.RowAttrs(row);
    const terminal::TerminalColor* fores = buffer.RowForeColors(row);
    const terminal::TerminalColor* backs = buffer.RowBackColors(row);
    check(chars && attrs && fores && backs);
    // Every cell is read, so a plane shorter than ColCount shows up.
    for (int col = 0; col < buffer.ColCount(); ++col)
      sum += chars[col] + attrs[col] + fores[col] + backs[col];
  }
  check(sum != 1);  // keeps the reads
}

void checkRuns(const terminal::test::FakeHost& host) {
  for (const auto& run : host.canvas.runs) {
    check(!run.text.empty() && run.text.size() <= terminal::TAdTTYEmulator::kMaxRunChars);
    check(run.x >= 0 &&
          run.x + int(run.text.size()) * host.cellWidth <= host.cols * host.cellWidth);
    check(run.y >= 0 && run.y < host.rows * host.cellHeight);
  }
}

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
  terminal::test::FakeHost host;
  terminal::test::FakePort port;
  host.port = &port;
  terminal::TAdTTYEmulator emulator;
  emulator.SetTerminal(&host);
  TAdTerminalBuffer& buffer = emulator.Buffer();
  std::size_t at = 0;
  while (at < size) {
    if (data[at] == 0xFE && at + 3 < size) {
      changeDimension(buffer, data[at + 1] % 3, data[at + 2] * 2 + data[at + 3] % 2 - 1);
      host.cols = buffer.ColCount();
      host.rows = buffer.RowCount();
      at += 4;
    } else if (data[at] == 0xFD && at + 2 < size) {
      host.canvas.runs.clear();
      host.topRow = buffer.OldestRow() + data[at + 1] % (buffer.SVRowCount());
      host.rows = buffer.RowCount() - host.topRow + 1;
      host.canvas.clip = {data[at + 2] % 50, data[at + 1] % 70, 4000, 4000};
      emulator.Paint();
      checkRuns(host);
      host.topRow = 1;
      host.rows = buffer.RowCount();
      at += 3;
    } else {
      std::size_t end = at + 1;
      while (end < size && data[end] != 0xFE && data[end] != 0xFD) ++end;
      emulator.HandleReceivedBlock(data + at, end - at);
      host.canvas.runs.clear();
      host.halfDuplex = (end - at) % 2 != 0;
      std::uint8_t typed = data[at];
      emulator.KeyPress(typed);
      emulator.DeferredRepaint();
      checkRuns(host);
      at = end;
    }
    checkInvariants(buffer);
  }
  return 0;
}
