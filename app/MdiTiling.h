// Arranging the terminal windows in the MDI area: tiling in horizontal
// strips (one above the other) or vertical columns (side by side), and a row
// of minimized windows along the bottom. GUI thread.
#pragma once

#include <QList>
#include <QRect>

class QMdiArea;

namespace app {

enum class TileMode { Horizontal, Vertical };

// count rectangles that tile area: full-width strips for Horizontal,
// full-height columns for Vertical; the last one takes what rounding leaves.
QList<QRect> TileRects(const QRect& area, int count, TileMode mode);

// Tiles the windows that are not minimized, leaving a row at the bottom for
// the minimized ones when there are any.
void TileSubWindows(QMdiArea& area, TileMode mode);

// Lines minimized windows up from the bottom-left corner, in creation order.
void ArrangeMinimizedSubWindows(QMdiArea& area);

}  // namespace app
