#include "app/MdiTiling.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace app {
namespace {

QList<QMdiSubWindow*> Windows(QMdiArea& area, bool minimized) {
  QList<QMdiSubWindow*> windows;
  for (QMdiSubWindow* window : area.subWindowList(QMdiArea::CreationOrder)) {
    if (window->isVisible() && window->isMinimized() == minimized) windows.append(window);
  }
  return windows;
}

int MinimizedHeight(QMdiArea& area) {
  const auto minimized = Windows(area, true);
  return minimized.isEmpty() ? 0 : minimized.front()->height();
}

}  // namespace

QList<QRect> TileRects(const QRect& area, int count, TileMode mode) {
  QList<QRect> rects;
  if (count <= 0 || area.isEmpty()) return rects;
  const int extent = mode == TileMode::Horizontal ? area.height() : area.width();
  for (int i = 0; i < count; ++i) {
    const int start = extent * i / count;
    const int end = extent * (i + 1) / count;
    if (mode == TileMode::Horizontal)
      rects.append(QRect(area.left(), area.top() + start, area.width(), end - start));
    else
      rects.append(QRect(area.left() + start, area.top(), end - start, area.height()));
  }
  return rects;
}

void TileSubWindows(QMdiArea& area, TileMode mode) {
  const auto windows = Windows(area, false);
  QRect space = area.viewport()->rect();
  space.setBottom(space.bottom() - MinimizedHeight(area));
  const auto rects = TileRects(space, int(windows.size()), mode);
  for (int i = 0; i < rects.size(); ++i) {
    if (windows[i]->isMaximized()) windows[i]->showNormal();
    windows[i]->setGeometry(rects[i]);
  }
}

void ArrangeMinimizedSubWindows(QMdiArea& area) {
  const QRect space = area.viewport()->rect();
  const int rowHeight = MinimizedHeight(area);
  int x = space.left();
  int y = space.bottom() + 1 - rowHeight;
  for (QMdiSubWindow* window : Windows(area, true)) {
    if (x > space.left() && x + window->width() > space.right() + 1) {
      x = space.left();
      y -= rowHeight;
    }
    window->move(x, y);
    x += window->width();
  }
}

}  // namespace app
