// What the painter of a terminal screen has not seen yet: how many rows the
// whole buffer scrolled up by, and the bounding box of the cells changed
// meanwhile.
//
// Changes are merged into one box as they come, in a numbering that
// scrolling does not change, so adding costs a few compares and allocates
// nothing; a painter that moves the shown rows by the scrolled count then
// repaints only the box and the rows uncovered at the bottom. GUI thread
// only, as the buffer that holds it.
#pragma once

#include "terminal/TerminalCoords.h"

namespace terminal {

struct ScreenChanges {
  // Every row moved up by this many (the top ones into the history);
  // saturates at the buffer's total rows.
  int scrolledRows = 0;
  // After that move, the cells of `area` differ from what was shown.
  bool changed = false;
  CellRect area{};
};

class InvalidArea {
 public:
  bool Empty() const { return !cells_ && scrolledRows_ == 0; }
  void AddCells(ScreenRow row, Column first, Column last) { AddRows(row, row, first, last); }
  void AddScreen(const CellRect& screen) {
    AddRows(screen.top, screen.bottom, screen.left, screen.right);
  }
  // Every row moved up one. Once the screen's height has scrolled, every
  // row that was on the screen meanwhile is changed, and single changes are
  // no longer recorded.
  void ScrollUp(int screenRows, int totalRows) {
    if (scrolledRows_ < totalRows && ++scrolledRows_ >= screenRows) wholeScreens_ = true;
  }
  // False when nothing is pending. `screen` is the whole screen; changed
  // cells that scrolled into the history stay in the area down to `oldest`.
  bool Take(ScreenChanges& changes, const CellRect& screen, ScreenRow oldest);
  void Clear() { *this = InvalidArea(); }

 private:
  void AddRows(ScreenRow top, ScreenRow bottom, Column first, Column last) {
    if (wholeScreens_) return;
    int stableTop = top.Value() + scrolledRows_;
    int stableBottom = bottom.Value() + scrolledRows_;
    if (!cells_) {
      cells_ = true;
      left_ = first;
      right_ = last;
      top_ = stableTop;
      bottom_ = stableBottom;
      return;
    }
    if (first < left_) left_ = first;
    if (last > right_) right_ = last;
    if (stableTop < top_) top_ = stableTop;
    if (stableBottom > bottom_) bottom_ = stableBottom;
  }

  bool cells_ = false;
  bool wholeScreens_ = false;
  int scrolledRows_ = 0;
  // The changed cells; rows are screen rows plus the scrolled count at the
  // time of the change, so that later scrolls leave them alone.
  Column left_;
  Column right_;
  int top_ = 0;
  int bottom_ = 0;
};

}  // namespace terminal
