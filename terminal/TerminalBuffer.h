// TAdTerminalBuffer: everything a terminal screen shows and remembers.
//
// Four planes (characters, attributes, foreground and background colours)
// hold SVRowCount rows: the last RowCount are the screen, the rows above are
// history. Callers number rows and columns from 1; screen row 1 is the top
// row and rows 0, -1, ... reach back into the history down to OldestRow().
//
// The buffer owns the cursor (which never leaves the screen) and the tab
// stops, and records the changed parts of the screen as invalid rectangles
// that the painter takes. It knows nothing of fonts or windows.
//
// Errors: the dimension setters throw TerminalError for counts below 2 and
// leave the buffer unchanged; everything else clips or clamps. One thread
// (the GUI thread) uses a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "terminal/InvalidRects.h"
#include "terminal/TerminalArray.h"
#include "terminal/TerminalColor.h"

namespace terminal {

// Attribute bits. The view marks a mouse selection with kAttrSelected; the
// painter exchanges the colours of a cell with exactly one of the two set.
constexpr std::uint8_t kAttrReverse = 0x10;
constexpr std::uint8_t kAttrSelected = 0x40;

class TAdTerminalBuffer {
 public:
  using CursorMovedEvent = std::function<void(TAdTerminalBuffer* sender, int row, int col)>;

  // 80 columns, 24 screen rows, 200 rows in all, silver on black, the cursor
  // at (1, 1), tab stops every 8 columns from column 1, the screen invalid.
  TAdTerminalBuffer();
  TAdTerminalBuffer(const TAdTerminalBuffer&) = delete;
  TAdTerminalBuffer& operator=(const TAdTerminalBuffer&) = delete;

  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  int SVRowCount() const { return svRowCount_; }
  // New columns: tab stops kept (new ones clear), screen invalid, cursor home.
  void SetColCount(int count);
  // Ignored above SVRowCount; a cursor above the new screen moves to its top.
  void SetRowCount(int count);
  // Below RowCount also lowers RowCount; the cursor keeps its screen row.
  void SetSVRowCount(int count);
  int OldestRow() const { return 1 - (svRowCount_ - rowCount_); }

  std::uint8_t BlankChar() const { return blankChar_; }
  TerminalColor ForeColor() const { return foreColor_; }
  TerminalColor BackColor() const { return backColor_; }
  TerminalColor DefForeColor() const { return defForeColor_; }
  TerminalColor DefBackColor() const { return defBackColor_; }
  // The colour of what is written next, and of cleared cells.
  void SetForeColor(TerminalColor color);
  void SetBackColor(TerminalColor color);
  // Recolours every cell (history included) that holds the old default.
  void SetDefForeColor(TerminalColor color);
  void SetDefBackColor(TerminalColor color);

  void WriteChar(std::uint8_t ch);
  // The same as WriteChar for each byte, except that OnCursorMoved is called
  // once, with the final position.
  void WriteChars(const std::uint8_t* chars, std::size_t count) {
    // Inline for the usual stretch, one that ends before the last column of
    // the cursor's row: no wrap to handle, and the one cursor move is
    // reported at once outside an update, as EndUpdate would.
    if (count > 0 && !wrapPending_ && count < std::size_t(colCount_ - cursorCol_)) {
      storeRun(chars, int(count));
      cursorCol_ += int(count);
      signalCursorMoved();
      return;
    }
    writeChars(chars, count);
  }
  // Between these, OnCursorMoved is held back; EndUpdate calls it once with
  // the final position if the cursor moved meanwhile. Calls do not nest.
  void BeginUpdate() { updating_ = true; }
  void EndUpdate();
  // Inline: a line of text costs one of each.
  void CarriageReturn() { moveCursor(cursorRow_, 0); }
  void LineFeed() {
    if (cursorRow_ < bottomRow()) {
      moveCursor(cursorRow_ + 1, cursorCol_);
    } else {
      wrapPending_ = false;
      scrollUp();
    }
  }
  void Backspace();
  void HorizontalTab();
  // Clears every row, history included, and homes the cursor.
  void EraseEverything();

  int CursorRow() const { return cursorRow_ - screenTop() + 1; }
  int CursorCol() const { return cursorCol_ + 1; }
  // A character sits in the last column and the line has not wrapped yet.
  bool WrapPending() const { return wrapPending_; }

  // A row's items from column 1 on (ColCount of them); nullptr for a row
  // outside OldestRow()..RowCount().
  const std::uint8_t* RowChars(int row) const;
  const std::uint8_t* RowAttrs(int row) const;
  const TerminalColor* RowForeColors(int row) const;
  const TerminalColor* RowBackColors(int row) const;
  // Sets or clears attribute bits on columns first..last of a row (clipped);
  // true when any cell changed. Marks nothing invalid.
  bool ChangeAttrBits(int row, int firstCol, int lastCol, std::uint8_t bits, bool set);

  bool IsDisplayDirty() const { return !invalid_.Empty(); }
  // The bounding box of every change since the last call; false when none.
  bool TakeInvalidArea(InvalidRect& rect) {
    screenInvalid_ = false;
    return invalid_.Take(rect);
  }
  // Whether the cursor moved since the last call.
  bool TakeCursorMoved();

  // Called after every change of the cursor position, with the 1-based row
  // and column; not for a line feed that scrolls.
  CursorMovedEvent OnCursorMoved;

 private:
  int screenTop() const { return svRowCount_ - rowCount_; }
  int bottomRow() const { return svRowCount_ - 1; }
  int internalRow(int row) const { return row + screenTop() - 1; }
  bool validRow(int row) const { return row >= OldestRow() && row <= rowCount_; }
  void moveCursor(int internalRowIndex, int col) {
    wrapPending_ = false;
    if (internalRowIndex == cursorRow_ && col == cursorCol_) return;
    cursorRow_ = internalRowIndex;
    cursorCol_ = col;
    signalCursorMoved();
  }
  void signalCursorMoved() {
    cursorMoved_ = true;
    if (updating_)
      movedInUpdate_ = true;
    else
      reportCursorMoved();
  }
  void reportCursorMoved();
  void wrapToNextLine();
  void scrollUp() {
    // The whole plane moves: the oldest history row goes, the top screen row
    // becomes the newest history row.
    chars_.ScrollAllUp();
    attrs_.ScrollAllUp();
    foreColors_.ScrollAllUp();
    backColors_.ScrollAllUp();
    // The row that came in is cleared to the current attribute and colours.
    plainRow_ = bottomRow();
    invalidateScreen();
  }
  void writeChars(const std::uint8_t* chars, std::size_t count);
  // Count cells from the cursor, all on its row.
  void storeRun(const std::uint8_t* chars, int count) {
    chars_.WriteItemsInside(chars, count, cursorCol_, cursorRow_);
    if (cursorRow_ != plainRow_) {
      attrs_.FillItems(cursorRow_, cursorCol_, count, attributes_);
      foreColors_.FillItems(cursorRow_, cursorCol_, count, foreColor_);
      backColors_.FillItems(cursorRow_, cursorCol_, count, backColor_);
    }
    invalidateCells(CursorRow(), cursorCol_ + 1, cursorCol_ + count);
  }
  // While the whole screen is pending, changes on it need no rectangle.
  void invalidateScreen() {
    if (screenInvalid_) return;
    invalid_.Add({1, 1, colCount_, rowCount_});
    screenInvalid_ = true;
  }
  void invalidateCells(int row, int firstCol, int lastCol) {
    if (!screenInvalid_) invalid_.Add({firstCol, row, lastCol, row});
  }
  // For new dimensions: the old whole-screen rectangle no longer covers it.
  void invalidateResizedScreen() {
    screenInvalid_ = false;
    invalidateScreen();
  }
  void setTabStops();
  bool tabStop(int col) const { return (tabStops_[col >> 3] >> (col & 7)) & 1; }

  bool updating_ = false;
  bool movedInUpdate_ = false;
  std::uint8_t attributes_ = 0;
  TerminalColor backColor_ = kColorBlack;
  bool wrapPending_ = false;
  int colCount_ = 80;
  int cursorCol_ = 0;
  bool cursorMoved_ = false;
  int cursorRow_ = 0;
  std::uint8_t blankChar_ = ' ';
  TerminalColor defBackColor_ = kColorBlack;
  TerminalColor defForeColor_ = kColorSilver;
  TerminalColor foreColor_ = kColorSilver;
  std::vector<std::uint8_t> tabStops_;
  InvalidRectList invalid_;
  bool screenInvalid_ = false;
  int rowCount_ = 24;
  int svRowCount_ = 200;
  // An internal row whose attribute and colour cells all hold the current
  // attribute and colours, so writing there stores only the characters; -1
  // when none is known. Anything that changes those cells or the current
  // values forgets it.
  int plainRow_ = -1;
  TadTerminalArray chars_{1};
  TadTerminalArray attrs_{1};
  TadTerminalArray foreColors_{4};
  TadTerminalArray backColors_{4};
};

}  // namespace terminal
