#include "terminal/TerminalBuffer.h"

#include <algorithm>

#include "terminal/TerminalError.h"

namespace terminal {

TAdTerminalBuffer::TAdTerminalBuffer() {
  chars_.SetFillItem(blankChar_);
  attrs_.SetFillItem(attributes_);
  foreColors_.SetFillItem(foreColor_);
  backColors_.SetFillItem(backColor_);
  resizePlanes(colCount_, svRowCount_);
  setTabStops();
  placeCursorRow(screenTop());
  invalid_.AddScreen(screenRect());
}

void TAdTerminalBuffer::resizePlanes(int colCount, int rowCount) {
  for (TadTerminalArray* plane : {&chars_, &attrs_, &foreColors_, &backColors_})
    plane->Resize(colCount, rowCount, PlaneRow(rowOrigin_));
  rowOrigin_ = 0;
  cursorPlaneRow_ = toPlaneRow(cursorRow_);
  plainRow_ = BufferRow(-1);
}

void TAdTerminalBuffer::setTabStops() {
  tabStops_.assign(std::size_t(colCount_ + 7) / 8, 0);
  for (int col = 0; col < colCount_; col += 8) tabStops_[std::size_t(col >> 3)] |= 1;
}

void TAdTerminalBuffer::reportCursorMoved() {
  if (OnCursorMoved) OnCursorMoved(this, CursorRow(), CursorCol());
}

void TAdTerminalBuffer::EndUpdate() {
  updating_ = false;
  if (!movedInUpdate_) return;
  movedInUpdate_ = false;
  reportCursorMoved();
}

bool TAdTerminalBuffer::TakeInvalidArea(CellRect& rect) {
  ScreenChanges changes;
  if (!TakeScreenChanges(changes)) return false;
  if (changes.scrolledRows > 0) {
    rect = screenRect();
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
    if (tabStop(col)) stops[std::size_t(col.Value() >> 3)] |= std::uint8_t(1 << (col.Value() & 7));
  tabStops_ = std::move(stops);
  resizePlanes(count, svRowCount_);
  colCount_ = count;
  invalidateResizedScreen();
  moveCursor(screenTop(), ColIndex(0));
}

void TAdTerminalBuffer::SetRowCount(int count) {
  if (count == rowCount_ || count > svRowCount_) return;
  if (count < 2) throw TerminalError("TAdTerminalBuffer.tbSetRowCount: new count too small");
  ScreenRow oldScreenRow = CursorRow();
  rowCount_ = count;
  placeCursorRow(std::max(cursorRow_, screenTop()));
  invalidateResizedScreen();
  if (CursorRow() != oldScreenRow) signalCursorMoved();
}

void TAdTerminalBuffer::SetSVRowCount(int count) {
  if (count == svRowCount_) return;
  if (count < 2) throw TerminalError("TAdTerminalBuffer.tbSetSVRowCount: new count too small");
  ScreenRow oldScreenRow = CursorRow();
  BufferRow shiftedRow = cursorRow_ + (count - svRowCount_);
  resizePlanes(colCount_, count);
  svRowCount_ = count;
  rowCount_ = std::min(rowCount_, count);
  // Keeping the distance from the bottom could put the cursor above a screen
  // that shrank with the total; it stays on the screen.
  placeCursorRow(std::clamp(shiftedRow, screenTop(), lastBufferRow()));
  invalidateResizedScreen();
  if (CursorRow() != oldScreenRow) signalCursorMoved();
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

void TAdTerminalBuffer::wrapToNextLine() {
  if (cursorRow_ < lastBufferRow()) {
    moveCursor(cursorRow_ + 1, ColIndex(0));
  } else {
    scrollAllUp();
    moveCursor(cursorRow_, ColIndex(0));
  }
}

void TAdTerminalBuffer::WriteChar(std::uint8_t ch) {
  if (wrapPending_) wrapToNextLine();
  storeRun(&ch, 1);
  if (cursorCol_.Value() == colCount_ - 1) {
    wrapPending_ = true;
  } else {
    ++cursorCol_;
    signalCursorMoved();
  }
}

void TAdTerminalBuffer::writeWrapping(const std::uint8_t* chars, std::size_t count) {
  bool nested = updating_;
  updating_ = true;
  ColIndex lastCol(colCount_ - 1);
  while (count > 0) {
    if (wrapPending_) wrapToNextLine();
    int run = int(std::min<std::size_t>(count, std::size_t(colCount_ - cursorCol_.Value())));
    storeRun(chars, run);
    // As WriteChar: the cursor stays on a character written in the last column.
    if (cursorCol_ + run <= lastCol) {
      cursorCol_ += run;
      signalCursorMoved();
    } else {
      if (run > 1) signalCursorMoved();
      cursorCol_ = lastCol;
      wrapPending_ = true;
    }
    chars += run;
    count -= std::size_t(run);
  }
  if (!nested) EndUpdate();
}

void TAdTerminalBuffer::Backspace() {
  moveCursor(cursorRow_, std::max(cursorCol_ - 1, ColIndex(0)));
}

void TAdTerminalBuffer::HorizontalTab() {
  ColIndex col = cursorCol_ + 1;
  while (col.Value() < colCount_ && !tabStop(col)) ++col;
  moveCursor(cursorRow_, std::min(col, ColIndex(colCount_ - 1)));
}

void TAdTerminalBuffer::EraseEverything() {
  for (TadTerminalArray* plane : {&chars_, &attrs_, &foreColors_, &backColors_}) plane->ClearAll();
  plainRow_ = BufferRow(-1);
  invalid_.AddScreen(screenRect());
  moveCursor(screenTop(), ColIndex(0));
}

const std::uint8_t* TAdTerminalBuffer::RowChars(ScreenRow row) const {
  if (!validRow(row)) return nullptr;
  return static_cast<const std::uint8_t*>(
      chars_.GetItemPtr(toPlaneRow(toBufferRow(row)), ColIndex(0)));
}

const std::uint8_t* TAdTerminalBuffer::RowAttrs(ScreenRow row) const {
  if (!validRow(row)) return nullptr;
  return static_cast<const std::uint8_t*>(
      attrs_.GetItemPtr(toPlaneRow(toBufferRow(row)), ColIndex(0)));
}

const TerminalColor* TAdTerminalBuffer::RowForeColors(ScreenRow row) const {
  if (!validRow(row)) return nullptr;
  return static_cast<const TerminalColor*>(
      foreColors_.GetItemPtr(toPlaneRow(toBufferRow(row)), ColIndex(0)));
}

const TerminalColor* TAdTerminalBuffer::RowBackColors(ScreenRow row) const {
  if (!validRow(row)) return nullptr;
  return static_cast<const TerminalColor*>(
      backColors_.GetItemPtr(toPlaneRow(toBufferRow(row)), ColIndex(0)));
}

bool TAdTerminalBuffer::ChangeAttrBits(ScreenRow row, Column first, Column last, std::uint8_t bits,
                                       bool set) {
  if (!validRow(row)) return false;
  ColIndex from = IndexOf(std::max(first, Column(1)));
  ColIndex end = IndexOf(std::min(last, LastColumn())) + 1;
  plainRow_ = BufferRow(-1);
  auto* cells =
      static_cast<std::uint8_t*>(attrs_.GetItemPtr(toPlaneRow(toBufferRow(row)), ColIndex(0)));
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
