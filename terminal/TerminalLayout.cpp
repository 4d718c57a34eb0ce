#include "terminal/TerminalLayout.h"

#include <algorithm>

namespace terminal {
namespace {

int CeilDiv(int value, int divisor) {
  return (value + divisor - 1) / divisor;
}

template <typename Edge>
int BarPosition(Edge edge) {
  return edge.Value() - 1;
}

int StepFor(ScrollAction action, int page) {
  switch (action) {
    case ScrollAction::LineBack:
      return -1;
    case ScrollAction::LineForward:
      return 1;
    case ScrollAction::PageBack:
      return -page;
    case ScrollAction::PageForward:
      return page;
    default:
      return 0;
  }
}

}  // namespace

ViewLayout ComputeLayout(const ViewGeometry& view) {
  ViewLayout layout{};
  int width = std::max(view.clientWidth, 0);
  int height = std::max(view.clientHeight, 0);
  int colBound = Column(view.colCount) - view.leftCol + 1;
  int rowBound = ScreenRow(view.rowCount) - view.topRow + 1;
  layout.visibleCols = std::min(CeilDiv(width, view.cellWidth), colBound);
  layout.fullCols = std::min(width / view.cellWidth, colBound);
  layout.visibleRows = std::min(CeilDiv(height, view.cellHeight), rowBound);
  layout.fullRows = std::min(height / view.cellHeight, rowBound);
  layout.horizontalBarNeeded = layout.fullCols < view.colCount;
  layout.tooShort = height / view.cellHeight < view.rowCount;
  // The history needs the bar even when every screen row fits.
  layout.verticalBarNeeded = layout.fullRows < view.rowCount || view.rowCount < view.svRowCount;

  int cellRight = std::min(layout.visibleCols * view.cellWidth, width);
  int cellBottom = std::min(layout.visibleRows * view.cellHeight, height);
  layout.cellArea = {0, 0, cellRight, cellBottom};
  layout.rightMargin = {cellRight, 0, width, cellBottom};
  layout.bottomMargin = {0, cellBottom, width, height};

  layout.horizontal = {0, view.colCount - 1, layout.fullCols, BarPosition(view.leftCol)};
  int verticalMin = layout.tooShort && !view.scrollback ? 0 : view.rowCount - view.svRowCount;
  layout.vertical = {verticalMin, view.rowCount - 1, layout.fullRows, BarPosition(view.topRow)};
  return layout;
}

ScreenRow LowestTopRow(const ViewGeometry& view, const ViewLayout& layout) {
  return ScreenRow(layout.tooShort && !view.scrollback ? 1 : 1 - (view.svRowCount - view.rowCount));
}

ScreenRow ClampTopRow(ScreenRow topRow, const ViewGeometry& view, const ViewLayout& layout) {
  ScreenRow highest(view.rowCount - layout.fullRows + 1);
  return std::max(LowestTopRow(view, layout), std::min(topRow, highest));
}

Column ClampLeftCol(Column leftCol, const ViewGeometry& view, const ViewLayout& layout) {
  return std::max(Column(1), std::min(leftCol, Column(view.colCount - layout.fullCols + 1)));
}

VerticalScroll ScrollVertically(ScrollAction action, int thumbPos, ViewGeometry view) {
  ViewLayout layout = ComputeLayout(view);
  if (layout.tooShort) {
    if (action == ScrollAction::LineBack && view.topRow == ScreenRow(1))
      view.scrollback = true;
    else if (view.topRow > ScreenRow(1))
      view.scrollback = false;
  }
  ScreenRow topRow = view.topRow;
  if (action == ScrollAction::Thumb)
    topRow = ScreenRow(thumbPos + 1);
  else
    topRow += StepFor(action, layout.fullRows);
  return {ClampTopRow(topRow, view, layout), view.scrollback};
}

Column ScrollHorizontally(ScrollAction action, int thumbPos, const ViewGeometry& view) {
  ViewLayout layout = ComputeLayout(view);
  Column leftCol = view.leftCol;
  if (action == ScrollAction::Thumb)
    leftCol = Column(thumbPos + 1);
  else
    leftCol += StepFor(action, layout.fullCols);
  return ClampLeftCol(leftCol, view, layout);
}

void RefillAfterResize(ViewGeometry& view) {
  int fittingCols = view.clientWidth / view.cellWidth;
  int fittingRows = view.clientHeight / view.cellHeight;
  int shownCols = Column(view.colCount) - view.leftCol + 1;
  int shownRows = ScreenRow(view.rowCount) - view.topRow + 1;
  if (view.leftCol > Column(1) && shownCols * view.cellWidth < view.clientWidth)
    view.leftCol = Column(std::clamp(view.colCount - fittingCols + 1, 1, view.colCount));
  if (view.topRow > ScreenRow(1) && shownRows * view.cellHeight < view.clientHeight)
    view.topRow = ScreenRow(std::clamp(view.rowCount - fittingRows + 1, 1, view.rowCount));
}

}  // namespace terminal
