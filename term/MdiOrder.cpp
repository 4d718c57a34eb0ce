#include "term/MdiOrder.h"

#include <QMdiArea>
#include <algorithm>

#include "term/TermMDIChild.h"

namespace term {

QList<QMdiSubWindow*> MdiOrder(const QMdiArea& area) {
  QList<QMdiSubWindow*> windows = area.subWindowList(QMdiArea::StackingOrder);  // bottom first
  std::reverse(windows.begin(), windows.end());
  return windows;
}

std::vector<TTermMDIChildForm*> TerminalWindowsInMdiOrder(const QMdiArea& area) {
  std::vector<TTermMDIChildForm*> windows;
  for (QMdiSubWindow* child : MdiOrder(area)) {
    if (auto* terminal = qobject_cast<TTermMDIChildForm*>(child)) windows.push_back(terminal);
  }
  return windows;
}

}  // namespace term
