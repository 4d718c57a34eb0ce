#include "terminal/InvalidArea.h"

#include <algorithm>

namespace terminal {

bool InvalidArea::Take(ScreenChanges& changes, const CellRect& screen, ScreenRow oldest) {
  if (Empty()) return false;
  changes = {scrolledRows_, false, {}};
  auto add = [&](CellRect rect) {
    rect.top = std::max(rect.top, oldest);
    if (rect.top > rect.bottom) return;
    CellRect& area = changes.area;
    area = !changes.changed
               ? rect
               : CellRect{std::min(area.left, rect.left), std::min(area.top, rect.top),
                          std::max(area.right, rect.right), std::max(area.bottom, rect.bottom)};
    changes.changed = true;
  };
  if (cells_)
    add({left_, ScreenRow(top_ - scrolledRows_), right_, ScreenRow(bottom_ - scrolledRows_)});
  // Every row that was on the screen since a screen's height scrolled.
  if (wholeScreens_)
    add({screen.left, screen.bottom + 1 - scrolledRows_, screen.right, screen.bottom});
  Clear();
  return true;
}

}  // namespace terminal
