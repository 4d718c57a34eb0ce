// The order of the MDI children as the main window keeps them: index 0 is
// the active child, then the others down the stacking order (the last is the
// one at the bottom). "Apply to all" goes through the windows in this order;
// closing everything goes through it from the last to the first.
#pragma once

#include <QList>
#include <vector>

class QMdiArea;
class QMdiSubWindow;

namespace term {

class TTermMDIChildForm;

QList<QMdiSubWindow*> MdiOrder(const QMdiArea& area);
// The terminal windows among the MDI children, in MDI order.
std::vector<TTermMDIChildForm*> TerminalWindowsInMdiOrder(const QMdiArea& area);

}  // namespace term
