#include "terminal/TerminalBuffer.h"

#include <algorithm>

#include "terminal/TerminalError.h"

namespace terminal {

TAdTerminalBuffer::TAdTerminalBuffer() {
  chars_.SetFillItem(blankChar_);
  attrs_.SetFillItem(attributes_);
  foreColors_.SetFillItem(foreColor_);
  backColors_.SetFillItem(backColor_);
  ResizePlanes(colCount_, svRowCount_);
  SetTabStops();
  PlaceCursorRow(ScreenTop());
  invalid_.AddScreen(ScreenRect());
}

void TAdTerminalBuffer::ResizePlanes(int colCount, int rowCount) {
  for (TadTerminalArray* plane : {&chars_, &attrs_, &foreColors_, &backColors_})
    plane->Resize(colCount, rowCount, PlaneRow(rowOrigin_));
  rowOrigin_ = 0;
  cursorPlaneRow_ = ToPlaneRow(cursorRow_);
  plainRow_ = BufferRow(-1);
}

void TAdTerminalBuffer::SetTabStops() {
  tabStops_.assign(std::size_t(colCount_ + 7) / 8, 0);
  for (int col = 0; col < colCount_; col += 8) tabStops_[std::size_t(col >> 3)] |= 1;
}

void TAdTerminalBuffer::ReportCursorMoved() {
  if (OnCursorMoved) OnCursorMoved(this, CursorRow(), CursorCol());
}

void TAdTerminalBuffer::EndUpdate() {
  updating_ = false;
  if (!movedInUpdate_) return;
  movedInUpdate_ = false;
  ReportCursorMoved();
}

bool TAdTerminalBuffer::TakeInvalidArea(CellRect& rect) {
  ScreenChanges changes;
  if (!TakeScreenChanges(changes)) return false;
  if (changes.scrolledRows > 0) {
    rect = ScreenRect();
    return true;
  }
  rect = changes.area;
  return changes.changed;
}

bool TAdTerminalBuffer::TakeCursorMoved() {
  bool moved = cursorMoved_;
  cursorMoved_ = false;
  return moved;
}

void TAdTerminalBuffer::SetColCount(int count) {
  if (count == colCount_) return;
  if (count < 2) throw TerminalError("TAdTerminalBuffer.tbSetColCount: new count too small");
  std::vector<std::uint8_t> stops(std::size_t(count + 7) / 8, 0);
  for (ColIndex col(0); col < ColIndex(std::min(count, colCount_)); ++col)
    if (TabStop(col)) stops[std::size_t(col.Value() >> 3)] |= std::uint8_t(1 << (col.Value() & 7));
  tabStops_ = std::move(stops);
  ResizePlanes(count, svRowCount_);
  colCount_ = count;
  InvalidateResizedScreen();
  MoveCursor(ScreenTop(), ColIndex(0));
}

void TAdTerminalBuffer::SetRowCount(int count) {
  if (count == rowCount_ || count > svRowCount_) return;
  if (count < 2) throw TerminalError("TAdTerminalBuffer.tbSetRowCount: new count too small");
  ScreenRow oldScreenRow = CursorRow();
  rowCount_ = count;
  PlaceCursorRow(std::max(cursorRow_, ScreenTop()));
  InvalidateResizedScreen();
  if (CursorRow() != oldScreenRow) SignalCursorMoved();
}

void TAdTerminalBuffer::SetSVRowCount(int count) {
  if (count == svRowCount_) return;
  if (count < 2) throw TerminalError("TAdTerminalBuffer.tbSetSVRowCount: new count too small");
  ScreenRow oldScreenRow = CursorRow();
  BufferRow shiftedRow = cursorRow_ + (count - svRowCount_);
  ResizePlanes(colCount_, count);
  svRowCount_ = count;
  rowCount_ = std::min(rowCount_, count);
  // Keeping the distance from the bottom could put the cursor above a screen
  // that shrank with the total; it stays on the screen.
  PlaceCursorRow(std::clamp(shiftedRow, ScreenTop(), LastBufferRow()));
  InvalidateResizedScreen();
  if (CursorRow() != oldScreenRow) SignalCursorMoved();
}

void TAdTerminalBuffer::SetForeColor(TerminalColor color) {
  foreColor_ = color;
  foreColors_.SetFillItem(color);
  plainRow_ = BufferRow(-1);
}

void TAdTerminalBuffer::SetBackColor(TerminalColor color) {
  backColor_ = color;
  backColors_.SetFillItem(color);
  plainRow_ = BufferRow(-1);
}

void TAdTerminalBuffer::SetDefForeColor(TerminalColor color) {
  if (color == defForeColor_) return;
  foreColors_.ReplaceItems(defForeColor_, color);
  plainRow_ = BufferRow(-1);
  defForeColor_ = color;
}

void TAdTerminalBuffer::SetDefBackColor(TerminalColor color) {
  if (color == defBackColor_) return;
  backColors_.ReplaceItems(defBackColor_, color);
  plainRow_ = BufferRow(-1);
  defBackColor_ = color;
}

void TAdTerminalBuffer::WrapToNextLine() {
  if (cursorRow_ < LastBufferRow()) {
    MoveCursor(cursorRow_ + 1, ColIndex(0));
  } else {
    ScrollAllUp();
    MoveCursor(cursorRow_, ColIndex(0));
  }
}

void TAdTerminalBuffer::WriteChar(std::uint8_t ch) {
  if (wrapPending_) WrapToNextLine();
  StoreRun(&ch, 1);
  if (cursorCol_.Value() == colCount_ - 1) {
    wrapPending_ = true;
  } else {
    ++cursorCol_;
    SignalCursorMoved();
  }
}

void TAdTerminalBuffer::WriteWrapping(const std::uint8_t* chars, std::size_t count) {
  bool nested = updating_;
  updating_ = true;
  ColIndex lastCol(colCount_ - 1);
  while (count > 0) {
    if (wrapPending_) WrapToNextLine();
    int run = int(std::min<std::size_t>(count, std::size_t(colCount_ - cursorCol_.Value())));
    StoreRun(chars, run);
    // As WriteChar: the cursor stays on a character written in the last column.
    if (cursorCol_ + run <= lastCol) {
      cursorCol_ += run;
      SignalCursorMoved();
    } else {
      if (run > 1) SignalCursorMoved();
      cursorCol_ = lastCol;
      wrapPending_ = true;
    }
    chars += run;
    count -= std::size_t(run);
  }
  if (!nested) EndUpdate();
}

void TAdTerminalBuffer::Backspace() {
  MoveCursor(cursorRow_, std::max(cursorCol_ - 1, ColIndex(0)));
}

void TAdTerminalBuffer::HorizontalTab() {
  ColIndex col = cursorCol_ + 1;
  while (col.Value() < colCount_ && !TabStop(col)) ++col;
  MoveCursor(cursorRow_, std::min(col, ColIndex(colCount_ - 1)));
}

void TAdTerminalBuffer::EraseEverything() {
  for (TadTerminalArray* plane : {&chars_, &attrs_, &foreColors_, &backColors_}) plane->ClearAll();
  plainRow_ = BufferRow(-1);
  invalid_.AddScreen(ScreenRect());
  MoveCursor(ScreenTop(), ColIndex(0));
}

const std::uint8_t* TAdTerminalBuffer::RowChars(ScreenRow row) const {
  if (!ValidRow(row)) return nullptr;
  return static_cast<const std::uint8_t*>(
      chars_.GetItemPtr(ToPlaneRow(ToBufferRow(row)), ColIndex(0)));
}

const std::uint8_t* TAdTerminalBuffer::RowAttrs(ScreenRow row) const {
  if (!ValidRow(row)) return nullptr;
  return static_cast<const std::uint8_t*>(
      attrs_.GetItemPtr(ToPlaneRow(ToBufferRow(row)), ColIndex(0)));
}

const TerminalColor* TAdTerminalBuffer::RowForeColors(ScreenRow row) const {
  if (!ValidRow(row)) return nullptr;
  return static_cast<const TerminalColor*>(
      foreColors_.GetItemPtr(ToPlaneRow(ToBufferRow(row)), ColIndex(0)));
}

const TerminalColor* TAdTerminalBuffer::RowBackColors(ScreenRow row) const {
  if (!ValidRow(row)) return nullptr;
  return static_cast<const TerminalColor*>(
      backColors_.GetItemPtr(ToPlaneRow(ToBufferRow(row)), ColIndex(0)));
}

bool TAdTerminalBuffer::ChangeAttrBits(ScreenRow row, Column first, Column last, std::uint8_t bits,
                                       bool set) {
  if (!ValidRow(row)) return false;
  ColIndex from = IndexOf(std::max(first, Column(1)));
  ColIndex end = IndexOf(std::min(last, LastColumn())) + 1;
  plainRow_ = BufferRow(-1);
  auto* cells =
      static_cast<std::uint8_t*>(attrs_.GetItemPtr(ToPlaneRow(ToBufferRow(row)), ColIndex(0)));
  bool changed = false;
  for (ColIndex col = from; col < end; ++col) {
    std::uint8_t& cell = cells[col.Value()];
    std::uint8_t updated = set ? std::uint8_t(cell | bits) : std::uint8_t(cell & ~bits);
    changed |= updated != cell;
    cell = updated;
  }
  return changed;
}

}  // namespace terminal
