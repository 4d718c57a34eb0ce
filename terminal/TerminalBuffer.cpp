#include "terminal/TerminalBuffer.h"

#include <algorithm>

#include "terminal/TerminalError.h"

namespace terminal {

TAdTerminalBuffer::TAdTerminalBuffer() {
  chars_.SetFillItem(blankChar_);
  attrs_.SetFillItem(attributes_);
  foreColors_.SetFillItem(foreColor_);
  backColors_.SetFillItem(backColor_);
  for (TadTerminalArray* plane : {&chars_, &attrs_, &foreColors_, &backColors_}) {
    plane->SetColCount(colCount_);
    plane->SetRowCount(svRowCount_);
  }
  setTabStops();
  cursorRow_ = screenTop();
  invalidateScreen();
}

void TAdTerminalBuffer::setTabStops() {
  tabStops_.assign((colCount_ + 7) / 8, 0);
  for (int col = 0; col < colCount_; col += 8) tabStops_[col >> 3] |= 1;
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

bool TAdTerminalBuffer::TakeCursorMoved() {
  bool moved = cursorMoved_;
  cursorMoved_ = false;
  return moved;
}

void TAdTerminalBuffer::SetColCount(int count) {
  if (count == colCount_) return;
  if (count < 2) throw TerminalError("TAdTerminalBuffer.tbSetColCount: new count too small");
  std::vector<std::uint8_t> stops((count + 7) / 8, 0);
  for (int col = 0; col < std::min(count, colCount_); ++col)
    if (tabStop(col)) stops[col >> 3] |= std::uint8_t(1 << (col & 7));
  tabStops_ = std::move(stops);
  for (TadTerminalArray* plane : {&chars_, &attrs_, &foreColors_, &backColors_})
    plane->SetColCount(count);
  plainRow_ = -1;
  colCount_ = count;
  invalidateResizedScreen();
  moveCursor(screenTop(), 0);
}

void TAdTerminalBuffer::SetRowCount(int count) {
  if (count == rowCount_ || count > svRowCount_) return;
  if (count < 2) throw TerminalError("TAdTerminalBuffer.tbSetRowCount: new count too small");
  int oldScreenRow = CursorRow();
  rowCount_ = count;
  cursorRow_ = std::max(cursorRow_, screenTop());
  invalidateResizedScreen();
  if (CursorRow() != oldScreenRow) signalCursorMoved();
}

void TAdTerminalBuffer::SetSVRowCount(int count) {
  if (count == svRowCount_) return;
  if (count < 2) throw TerminalError("TAdTerminalBuffer.tbSetSVRowCount: new count too small");
  int oldScreenRow = CursorRow();
  int shiftedRow = cursorRow_ + (count - svRowCount_);
  for (TadTerminalArray* plane : {&chars_, &attrs_, &foreColors_, &backColors_})
    plane->SetRowCount(count);
  plainRow_ = -1;
  svRowCount_ = count;
  rowCount_ = std::min(rowCount_, count);
  // Keeping the distance from the bottom could put the cursor above a screen
  // that shrank with the total; it stays on the screen.
  cursorRow_ = std::clamp(shiftedRow, screenTop(), bottomRow());
  invalidateResizedScreen();
  if (CursorRow() != oldScreenRow) signalCursorMoved();
}

void TAdTerminalBuffer::SetForeColor(TerminalColor color) {
  foreColor_ = color;
  foreColors_.SetFillItem(color);
  plainRow_ = -1;
}

void TAdTerminalBuffer::SetBackColor(TerminalColor color) {
  backColor_ = color;
  backColors_.SetFillItem(color);
  plainRow_ = -1;
}

void TAdTerminalBuffer::SetDefForeColor(TerminalColor color) {
  if (color == defForeColor_) return;
  foreColors_.ReplaceItems(defForeColor_, color);
  plainRow_ = -1;
  defForeColor_ = color;
}

void TAdTerminalBuffer::SetDefBackColor(TerminalColor color) {
  if (color == defBackColor_) return;
  backColors_.ReplaceItems(defBackColor_, color);
  plainRow_ = -1;
  defBackColor_ = color;
}

void TAdTerminalBuffer::wrapToNextLine() {
  if (cursorRow_ < bottomRow()) {
    moveCursor(cursorRow_ + 1, 0);
  } else {
    scrollUp();
    moveCursor(cursorRow_, 0);
  }
}

void TAdTerminalBuffer::WriteChar(std::uint8_t ch) {
  if (wrapPending_) wrapToNextLine();
  storeRun(&ch, 1);
  if (cursorCol_ == colCount_ - 1) {
    wrapPending_ = true;
  } else {
    ++cursorCol_;
    signalCursorMoved();
  }
}

void TAdTerminalBuffer::writeChars(const std::uint8_t* chars, std::size_t count) {
  bool nested = updating_;
  updating_ = true;
  while (count > 0) {
    if (wrapPending_) wrapToNextLine();
    int run = int(std::min<std::size_t>(count, std::size_t(colCount_ - cursorCol_)));
    storeRun(chars, run);
    // As WriteChar: the cursor stays on a character written in the last column.
    if (cursorCol_ + run < colCount_) {
      cursorCol_ += run;
      signalCursorMoved();
    } else {
      if (cursorCol_ + run - 1 > cursorCol_) signalCursorMoved();
      cursorCol_ = colCount_ - 1;
      wrapPending_ = true;
    }
    chars += run;
    count -= std::size_t(run);
  }
  if (!nested) EndUpdate();
}

void TAdTerminalBuffer::Backspace() {
  moveCursor(cursorRow_, std::max(cursorCol_ - 1, 0));
}

void TAdTerminalBuffer::HorizontalTab() {
  int col = cursorCol_ + 1;
  while (col < colCount_ && !tabStop(col)) ++col;
  moveCursor(cursorRow_, std::min(col, colCount_ - 1));
}

void TAdTerminalBuffer::EraseEverything() {
  for (TadTerminalArray* plane : {&chars_, &attrs_, &foreColors_, &backColors_}) plane->ClearAll();
  plainRow_ = -1;
  invalidateScreen();
  moveCursor(screenTop(), 0);
}

const std::uint8_t* TAdTerminalBuffer::RowChars(int row) const {
  if (!validRow(row)) return nullptr;
  return static_cast<const std::uint8_t*>(chars_.GetItemPtr(internalRow(row), 0));
}

const std::uint8_t* TAdTerminalBuffer::RowAttrs(int row) const {
  if (!validRow(row)) return nullptr;
  return static_cast<const std::uint8_t*>(attrs_.GetItemPtr(internalRow(row), 0));
}

const TerminalColor* TAdTerminalBuffer::RowForeColors(int row) const {
  if (!validRow(row)) return nullptr;
  return static_cast<const TerminalColor*>(foreColors_.GetItemPtr(internalRow(row), 0));
}

const TerminalColor* TAdTerminalBuffer::RowBackColors(int row) const {
  if (!validRow(row)) return nullptr;
  return static_cast<const TerminalColor*>(backColors_.GetItemPtr(internalRow(row), 0));
}

bool TAdTerminalBuffer::ChangeAttrBits(int row, int firstCol, int lastCol, std::uint8_t bits,
                                       bool set) {
  if (!validRow(row)) return false;
  firstCol = std::max(firstCol, 1);
  lastCol = std::min(lastCol, colCount_);
  plainRow_ = -1;
  auto* cells = static_cast<std::uint8_t*>(attrs_.GetItemPtr(internalRow(row), 0));
  bool changed = false;
  for (int col = firstCol - 1; col < lastCol; ++col) {
    std::uint8_t updated = set ? std::uint8_t(cells[col] | bits) : std::uint8_t(cells[col] & ~bits);
    changed |= updated != cells[col];
    cells[col] = updated;
  }
  return changed;
}

}  // namespace terminal
