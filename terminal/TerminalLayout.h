// The terminal view's geometry rules, free of any toolkit: which cells a
// client area shows, which scroll bars it needs, the bars' ranges, and how
// scroll actions and resizes move the top-left cell.
//
// Scroll bar positions count from 0: position p shows column or row p + 1
// at the edge. Scroll bar ranges are given the platform way: the range covers every
// position the bar stands for (max included) and the thumb covers `page` of
// them, so the thumb can reach max - page + 1.
#pragma once

#include "terminal/TerminalCoords.h"

namespace terminal {

struct ViewGeometry {
  int clientWidth;
  int clientHeight;
  int cellWidth;
  int cellHeight;
  int colCount;
  int rowCount;
  int svRowCount;
  Column leftCol;    // at the left edge
  ScreenRow topRow;  // at the top edge; 0 or less in the history
  bool scrollback;
};

struct ScrollRange {
  int min;
  int max;
  int page;
  int pos;

  friend bool operator==(const ScrollRange&, const ScrollRange&) = default;
};

struct ViewLayout {
  // Counting a partly visible last cell, and whole cells only.
  int visibleCols;
  int fullCols;
  int visibleRows;
  int fullRows;
  bool horizontalBarNeeded;
  bool verticalBarNeeded;
  // The window shows fewer whole rows than the screen has.
  bool tooShort;
  PixelRect cellArea;
  PixelRect rightMargin;
  PixelRect bottomMargin;
  ScrollRange horizontal;
  ScrollRange vertical;
};

ViewLayout ComputeLayout(const ViewGeometry& view);

// The lowest TopRow the view may show: the oldest history row when the
// window is tall enough for the screen or Scrollback is on, else 1.
ScreenRow LowestTopRow(const ViewGeometry& view, const ViewLayout& layout);
ScreenRow ClampTopRow(ScreenRow topRow, const ViewGeometry& view, const ViewLayout& layout);
Column ClampLeftCol(Column leftCol, const ViewGeometry& view, const ViewLayout& layout);

enum class ScrollAction { LineBack, LineForward, PageBack, PageForward, Thumb, Other };

struct VerticalScroll {
  ScreenRow topRow;
  bool scrollback;
};

// A vertical bar action. While the window is too short, a line back at row 1
// turns Scrollback on and any action below row 1 turns it off. thumbPos is
// the bar position for Thumb.
VerticalScroll ScrollVertically(ScrollAction action, int thumbPos, ViewGeometry view);
Column ScrollHorizontally(ScrollAction action, int thumbPos, const ViewGeometry& view);

// After a resize: pulls LeftCol and TopRow back so that the cells fill the
// client area again where the buffer allows.
void RefillAfterResize(ViewGeometry& view);

}  // namespace terminal
