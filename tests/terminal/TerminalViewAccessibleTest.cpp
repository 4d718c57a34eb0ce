// What assistive technology reads of the view: its role, the shown rows as
// text with the caret, and the selection.
#include <QAccessible>
#include <QScrollBar>
#include <QtTest/QTest>

#include "tests/terminal/TerminalViewFixture.h"

namespace terminal::test {
namespace {

struct TextCase {
  const char* name;
  const char* received;
  int lineUps;  // with Scrollback on, into the history
  const char* text;
  int caret;
};

class TAdTerminalAccessible : public TerminalViewTest,
                              public testing::WithParamInterface<TextCase> {
 protected:
  QAccessibleInterface* Accessible() { return QAccessible::queryAccessibleInterface(&view); }
};

TEST_P(TAdTerminalAccessible, ReadsTheShownRowsWithTheCaret) {
  const TextCase& c = GetParam();
  SetClientCells(80, 4);
  view.SetUseLazyDisplay(false);
  view.SetScrollback(true);
  view.SetComPort(&port);
  Receive(c.received);
  for (int i = 0; i < c.lineUps; ++i)
    view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  Settle();
  QAccessibleInterface* accessible = Accessible();
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::Terminal);
  QAccessibleTextInterface* text = accessible->textInterface();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(0, text->characterCount()), c.text);
  EXPECT_EQ(text->cursorPosition(), c.caret);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, TAdTerminalAccessible,
    testing::Values(TextCase{"TwoLines", "ab\r\ncd", 0, "ab\ncd\n\n\n", 5},
                    // Blanks before the caret stay: that is where typing goes.
                    TextCase{"BlanksBeforeTheCaret", "x   \r\n  y  ", 0, "x\n  y  \n\n\n", 7},
                    TextCase{"ControlBytesAreNotText", "a\x07\tb\x01", 0, "a       b\n\n\n\n", 9},
                    // 30 lines: the screen scrolled 7 rows, row 0 holds line 7.
                    TextCase{"ScrolledIntoTheHistory",
                             "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n"
                             "14\r\n15\r\n16\r\n17\r\n18\r\n19\r\n20\r\n21\r\n22\r\n23\r\n24\r\n"
                             "25\r\n26\r\n27\r\n28\r\n29\r\n30\r\n",
                             2, "6\n7\n8\n9\n", 8}),
    [](const testing::TestParamInfo<TextCase>& info) { return info.param.name; });

TEST_F(TAdTerminalAccessible, TheSelectionIsTheDraggedCells) {
  SetClientCells(80, 4);
  view.SetComPort(&port);
  view.SetUseLazyDisplay(false);
  Receive("hello world\r\nsecond");
  QTest::mousePress(view.viewport(), Qt::LeftButton, {}, CellCenter(7, 1));
  QTest::mouseMove(view.viewport(), CellCenter(3, 2));
  QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, CellCenter(3, 2));
  QAccessibleTextInterface* text = Accessible()->textInterface();
  ASSERT_EQ(text->selectionCount(), 1);
  int start = 0, end = 0;
  text->selection(0, &start, &end);
  EXPECT_EQ(text->text(start, end), "world\nsec");
}

}  // namespace
}  // namespace terminal::test
