#include "terminal/TTYEmulator.h"

#include <algorithm>
#include <cstring>

namespace terminal {
namespace {

constexpr std::uint8_t kBel = 7;
constexpr std::uint8_t kBs = 8;
constexpr std::uint8_t kHt = 9;
constexpr std::uint8_t kLf = 10;
constexpr std::uint8_t kCr = 13;
constexpr std::uint8_t kDel = 0x7F;

}  // namespace

TAdTTYEmulator::TAdTTYEmulator() {
  runs_.reserve(16);
}

bool TAdTTYEmulator::RepaintPending() {
  return buffer_.IsDisplayDirty() || fullRepaint_ || buffer_.TakeCursorMoved();
}

void TAdTTYEmulator::EraseEverything() {
  buffer_.EraseEverything();
}

void TAdTTYEmulator::KeyPress(std::uint8_t& ch) {
  if (ch == kBs) ch = kDel;
  TransmitChar(ch, true);
}

void TAdTTYEmulator::HandleReceivedBlock(const std::uint8_t* bytes, std::size_t count) {
  // A view listening to cursor moves hears every step; otherwise the cursor
  // is reported once for the block and printable stretches go in at once.
  bool stepwise = terminal_ && terminal_->CursorMovedAssigned();
  if (!stepwise) buffer_.BeginUpdate();
  const std::uint8_t* end = bytes + count;
  while (bytes < end) {
    const std::uint8_t* printable = bytes;
    while (bytes < end && *bytes >= 0x20) ++bytes;
    if (bytes > printable) {
      if (stepwise) {
        for (const std::uint8_t* ch = printable; ch < bytes; ++ch) buffer_.WriteChar(*ch);
      } else {
        buffer_.WriteChars(printable, std::size_t(bytes - printable));
      }
    }
    if (bytes == end) break;
    std::uint8_t control = *bytes++;
    // Text lines end in these two: tested before the general dispatch.
    if (control == kCr) {
      buffer_.CarriageReturn();
      if (bytes < end && *bytes == kLf) {
        ++bytes;
        buffer_.LineFeed();
      }
      continue;
    }
    if (control == kLf) {
      buffer_.LineFeed();
      continue;
    }
    switch (control) {
      case kBel:
        if (terminal_) terminal_->Beep();
        break;
      case kBs:
        buffer_.Backspace();
        break;
      case kHt:
        buffer_.HorizontalTab();
        break;
      default:
        break;  // other control bytes are not shown
    }
  }
  if (!stepwise) buffer_.EndUpdate();
}

void TAdTTYEmulator::SyncColors() {
  TerminalColor back = terminal_->Color();
  TerminalColor fore = terminal_->FontColor();
  if (back == buffer_.BackColor() && fore == buffer_.ForeColor()) return;
  buffer_.SetDefBackColor(back);
  buffer_.SetDefForeColor(fore);
  buffer_.SetBackColor(back);
  buffer_.SetForeColor(fore);
  fullRepaint_ = true;
}

void TAdTTYEmulator::DeferredRepaint() {
  if (!terminal_) return;
  SyncColors();
  ScreenChanges changes;
  bool pending = buffer_.TakeScreenChanges(changes);
  // A scroll moved every row the view shows: what is shown is drawn again
  // from the buffer rather than moved, so no stale pixel can travel.
  if (fullRepaint_ || (pending && changes.scrolledRows > 0)) {
    fullRepaint_ = false;
    PaintVisibleRows();
    return;
  }
  if (!pending || !changes.changed) return;
  const CellRect& area = changes.area;
  ScreenRow top = std::max(terminal_->ClientTopRow(), area.top);
  ScreenRow end = std::min(terminal_->ClientTopRow() + terminal_->ClientRows(), area.bottom + 1);
  for (ScreenRow row = top; row < end; ++row) PaintRow(row, area.left, area.right);
}

void TAdTTYEmulator::PaintVisibleRows() {
  ScreenRow top = terminal_->ClientTopRow();
  for (ScreenRow row = top; row < top + terminal_->ClientRows(); ++row)
    PaintRow(row, Column(1), buffer_.LastColumn());
}

void TAdTTYEmulator::Paint() {
  if (!terminal_) return;
  SyncColors();
  int cellWidth = terminal_->CharWidth();
  int cellHeight = terminal_->CharHeight();
  if (cellWidth <= 0 || cellHeight <= 0) return;
  PixelRect clip = terminal_->Canvas().ClipRect();
  if (clip.right <= clip.left || clip.bottom <= clip.top) return;
  Column leftCol = terminal_->ClientLeftCol();
  ScreenRow topRow = terminal_->ClientTopRow();
  Column firstCol = leftCol + clip.left / cellWidth;
  Column lastCol = leftCol + (clip.right - 1) / cellWidth;
  ScreenRow firstRow = topRow + clip.top / cellHeight;
  ScreenRow lastRow = topRow + (clip.bottom - 1) / cellHeight;
  for (ScreenRow row = firstRow; row <= lastRow; ++row) PaintRow(row, firstCol, lastCol);
}

void TAdTTYEmulator::PaintRow(ScreenRow row, Column fromCol, Column toCol) {
  ScreenRow topRow = terminal_->ClientTopRow();
  Column leftCol = terminal_->ClientLeftCol();
  ScreenRow lastVisibleRow = topRow + (terminal_->ClientRows() - 1);
  Column lastVisibleCol = leftCol + (terminal_->ClientCols() - 1);
  if (row < topRow || row > lastVisibleRow) return;
  if (toCol < leftCol || fromCol > lastVisibleCol) return;
  // Also kept inside the buffer, whatever the view believes it shows.
  fromCol = std::max({fromCol, leftCol, Column(1)});
  toCol = std::min({toCol, lastVisibleCol, buffer_.LastColumn()});
  const std::uint8_t* chars = buffer_.RowChars(row);
  const std::uint8_t* attrs = buffer_.RowAttrs(row);
  const TerminalColor* fores = buffer_.RowForeColors(row);
  const TerminalColor* backs = buffer_.RowBackColors(row);
  if (!chars || fromCol > toCol) return;

  runs_.clear();
  int start = IndexOf(fromCol).Value();
  int last = IndexOf(toCol).Value();
  for (int col = start + 1; col <= last + 1; ++col) {
    bool ends = col == last + 1 || col - start == kMaxRunChars || fores[col] != fores[start] ||
                backs[col] != backs[start] || attrs[col] != attrs[start];
    if (!ends) continue;
    runs_.push_back({ColumnOf(ColIndex(start)), ColumnOf(ColIndex(col - 1)), fores[start],
                     backs[start], attrs[start]});
    start = col;
  }
  // Collected left to right, drawn right to left.
  for (auto run = runs_.rbegin(); run != runs_.rend(); ++run) PaintRun(row, *run, chars);
}

void TAdTTYEmulator::PaintRun(ScreenRow row, const Run& run, const std::uint8_t* chars) {
  int length = run.lastCol - run.firstCol + 1;
  int cellWidth = terminal_->CharWidth();
  std::fill(cellAdvances_.begin(), cellAdvances_.end(), cellWidth);
  TerminalColor fore = run.fore;
  TerminalColor back = run.back;
  bool reverse = (run.attrs & kAttrReverse) != 0;
  bool selected = (run.attrs & kAttrSelected) != 0;
  if (reverse != selected) std::swap(fore, back);
  std::memcpy(runText_.data(), chars + IndexOf(run.firstCol).Value(), std::size_t(length));
  runText_[std::size_t(length)] = 0;
  int x = (run.firstCol - terminal_->ClientLeftCol()) * cellWidth;
  int y = (row - terminal_->ClientTopRow()) * terminal_->CharHeight();
  terminal_->Canvas().DrawRun(x, y, runText_.data(), length, cellAdvances_.data(),
                              terminal_->CharHeight(), fore, back);
}

}  // namespace terminal
