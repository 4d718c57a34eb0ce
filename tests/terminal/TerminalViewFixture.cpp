#include "tests/terminal/TerminalViewFixture.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <QtTest/QTest>

#include "platform/Messages.h"
#include "tests/support/PaintCounter.h"

namespace terminal::test {

TerminalViewTest::TerminalViewTest() {
  view.SetBorderStyle(bsNone);
  view.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.activateWindow();
  Settle();
}

TerminalViewTest::~TerminalViewTest() {
  view.SetComPort(nullptr);
}

void TerminalViewTest::Settle() {
  for (int i = 0; i < 8; ++i) {
    QCoreApplication::processEvents();
    platform::ProcessMessages();
    // Received data is painted by the view's next frame.
    while (view.FramePending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

void TerminalViewTest::SetClientCells(int cols, int rows, int extraWidth, int extraHeight) {
  QSize want(cols * view.CharWidth() + extraWidth, rows * view.CharHeight() + extraHeight);
  for (int i = 0; i < 8; ++i) {
    Settle();
    QSize have = view.viewport()->size();
    if (have == want) return;
    view.resize(view.size() + (want - have));
  }
  ADD_FAILURE() << "client area never reached the size asked for";
}

void TerminalViewTest::Receive(const std::string& bytes) {
  port.Receive(bytes);
  Settle();
}

QPoint TerminalViewTest::CellCenter(int visibleCol, int visibleRow) const {
  return QPoint((visibleCol - 1) * view.CharWidth() + view.CharWidth() / 2,
                (visibleRow - 1) * view.CharHeight() + view.CharHeight() / 2);
}

int TerminalViewTest::CountPaintsWhile(const std::function<void()>& action) {
  Settle();
  ::test::PaintCounter counter;
  view.viewport()->installEventFilter(&counter);
  action();
  Settle();
  view.viewport()->removeEventFilter(&counter);
  return counter.paints;
}

}  // namespace terminal::test
