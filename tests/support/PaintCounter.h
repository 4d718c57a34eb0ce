// Counts the paint events a widget receives while installed as its event
// filter (widget.installEventFilter(&counter)); used by the view's tests and
// its repaint benchmark.
#pragma once

#include <QEvent>
#include <QObject>

namespace test {

class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

}  // namespace test
