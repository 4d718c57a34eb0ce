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

#include "terminal/InvalidArea.h"
#include "terminal/TerminalArray.h"
#include "terminal/TerminalColor.h"
#include "terminal/TerminalCoords.h"

namespace terminal {

// Attribute bits. The view marks a mouse selection with kAttrSelected; the
// painter exchanges the colours of a cell with exactly one of the two set.
constexpr std::uint8_t kAttrReverse = 0x10;
constexpr std::uint8_t kAttrSelected = 0x40;

class TAdTerminalBuffer {
 public:
  using CursorMovedEvent =
      std::function<void(TAdTerminalBuffer* sender, ScreenRow row, Column col)>;

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
  ScreenRow OldestRow() const { return ScreenRow(1 - (svRowCount_ - rowCount_)); }
  Column LastColumn() const { return Column(colCount_); }
  ScreenRow BottomRow() const { return ScreenRow(rowCount_); }

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
    if (count > 0 && !wrapPending_ && count < std::size_t(colCount_ - cursorCol_.Value())) {
      StoreRun(chars, int(count));
      cursorCol_ += int(count);
      SignalCursorMoved();
      return;
    }
    WriteWrapping(chars, count);
  }
  // Between these, OnCursorMoved is held back; EndUpdate calls it once with
  // the final position if the cursor moved meanwhile. Calls do not nest.
  void BeginUpdate() { updating_ = true; }
  void EndUpdate();
  // Inline: a line of text costs one of each.
  void CarriageReturn() { MoveCursor(cursorRow_, ColIndex(0)); }
  void LineFeed() {
    if (cursorRow_ < LastBufferRow()) {
      MoveCursor(cursorRow_ + 1, cursorCol_);
    } else {
      wrapPending_ = false;
      ScrollAllUp();
    }
  }
  void Backspace();
  void HorizontalTab();
  // Clears every row, history included, and homes the cursor.
  void EraseEverything();

  ScreenRow CursorRow() const { return ToScreenRow(cursorRow_); }
  Column CursorCol() const { return ColumnOf(cursorCol_); }
  // A character sits in the last column and the line has not wrapped yet.
  bool WrapPending() const { return wrapPending_; }

  // A row's items from column 1 on (ColCount of them); nullptr for a row
  // outside OldestRow()..BottomRow().
  const std::uint8_t* RowChars(ScreenRow row) const;
  const std::uint8_t* RowAttrs(ScreenRow row) const;
  const TerminalColor* RowForeColors(ScreenRow row) const;
  const TerminalColor* RowBackColors(ScreenRow row) const;
  // Sets or clears attribute bits on columns first..last of a row (clipped);
  // true when any cell changed. Marks nothing invalid.
  bool ChangeAttrBits(ScreenRow row, Column first, Column last, std::uint8_t bits, bool set);

  bool IsDisplayDirty() const { return !invalid_.Empty(); }
  // The bounding box of every change since the last call, the whole screen
  // once it has scrolled; false when none.
  bool TakeInvalidArea(CellRect& rect);
  // The same changes for a painter that moves what it shows: the rows the
  // screen scrolled by and the cells changed after that. Either Take ends
  // the batch for both.
  bool TakeScreenChanges(ScreenChanges& changes) {
    return invalid_.Take(changes, ScreenRect(), OldestRow());
  }
  // Whether the cursor moved since the last call.
  bool TakeCursorMoved();

  // Called after every change of the cursor position, with the 1-based row
  // and column; not for a line feed that scrolls.
  CursorMovedEvent OnCursorMoved;

 private:
  BufferRow ScreenTop() const { return BufferRow(svRowCount_ - rowCount_); }
  BufferRow LastBufferRow() const { return BufferRow(svRowCount_ - 1); }
  BufferRow ToBufferRow(ScreenRow row) const { return ScreenTop() + (row.Value() - 1); }
  ScreenRow ToScreenRow(BufferRow row) const { return ScreenRow(row - ScreenTop() + 1); }
  // The planes' row holding a buffer row: the one origin turns round.
  PlaneRow ToPlaneRow(BufferRow row) const {
    int index = rowOrigin_ + row.Value();
    return PlaneRow(index >= svRowCount_ ? index - svRowCount_ : index);
  }
  bool ValidRow(ScreenRow row) const { return row >= OldestRow() && row <= BottomRow(); }
  CellRect ScreenRect() const { return {Column(1), ScreenRow(1), LastColumn(), BottomRow()}; }
  void MoveCursor(BufferRow row, ColIndex col) {
    wrapPending_ = false;
    if (row == cursorRow_ && col == cursorCol_) return;
    if (row != cursorRow_) PlaceCursorRow(row);
    cursorCol_ = col;
    SignalCursorMoved();
  }
  void PlaceCursorRow(BufferRow row) {
    cursorRow_ = row;
    cursorPlaneRow_ = ToPlaneRow(row);
  }
  void SignalCursorMoved() {
    cursorMoved_ = true;
    if (updating_)
      movedInUpdate_ = true;
    else
      ReportCursorMoved();
  }
  void ReportCursorMoved();
  void WrapToNextLine();
  void ScrollAllUp() {
    // The whole buffer moves: the oldest history row turns round to the
    // bottom, cleared to the current attribute and colours; the top screen
    // row becomes the newest history row.
    PlaneRow vacated(rowOrigin_);
    rowOrigin_ = rowOrigin_ + 1 == svRowCount_ ? 0 : rowOrigin_ + 1;
    // The cursor is on the bottom row, the one turned round.
    cursorPlaneRow_ = vacated;
    chars_.ClearRow(vacated);
    attrs_.ClearRow(vacated);
    foreColors_.ClearRow(vacated);
    backColors_.ClearRow(vacated);
    plainRow_ = LastBufferRow();
    invalid_.ScrollUp(rowCount_, svRowCount_);
  }
  void WriteWrapping(const std::uint8_t* chars, std::size_t count);
  // Count cells from the cursor, all on its row.
  void StoreRun(const std::uint8_t* chars, int count) {
    PlaneRow row = cursorPlaneRow_;
    chars_.WriteItemsInside(chars, count, cursorCol_, row);
    if (cursorRow_ != plainRow_) {
      attrs_.FillItems(row, cursorCol_, count, attributes_);
      foreColors_.FillItems(row, cursorCol_, count, foreColor_);
      backColors_.FillItems(row, cursorCol_, count, backColor_);
    }
    invalid_.AddCells(CursorRow(), CursorCol(), CursorCol() + (count - 1));
  }
  // For new dimensions: pending changes no longer fit them.
  void InvalidateResizedScreen() {
    invalid_.Clear();
    invalid_.AddScreen(ScreenRect());
  }
  // All four planes at new counts, their rows straightened: origin 0.
  void ResizePlanes(int colCount, int rowCount);
  void SetTabStops();
  bool TabStop(ColIndex col) const {
    return (tabStops_[std::size_t(col.Value() >> 3)] >> (col.Value() & 7)) & 1;
  }

  bool updating_ = false;
  bool movedInUpdate_ = false;
  std::uint8_t attributes_ = 0;
  TerminalColor backColor_ = kColorBlack;
  bool wrapPending_ = false;
  int colCount_ = 80;
  ColIndex cursorCol_;
  bool cursorMoved_ = false;
  BufferRow cursorRow_;
  PlaneRow cursorPlaneRow_;  // ToPlaneRow(cursorRow_)
  std::uint8_t blankChar_ = ' ';
  TerminalColor defBackColor_ = kColorBlack;
  TerminalColor defForeColor_ = kColorSilver;
  TerminalColor foreColor_ = kColorSilver;
  std::vector<std::uint8_t> tabStops_;
  InvalidArea invalid_;
  int rowCount_ = 24;
  int svRowCount_ = 200;
  // The plane row holding buffer row 0, the same in all four planes.
  int rowOrigin_ = 0;
  // A buffer row whose attribute and colour cells all hold the current
  // attribute and colours, so writing there stores only the characters; -1
  // when none is known. Anything that changes those cells or the current
  // values forgets it.
  BufferRow plainRow_{-1};
  TadTerminalArray chars_{1};
  TadTerminalArray attrs_{1};
  TadTerminalArray foreColors_{4};
  TadTerminalArray backColors_{4};
};

}  // namespace terminal
