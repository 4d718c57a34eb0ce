// The view's properties, scroll bars, scrolling, caret and painting under
// the offscreen platform.
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QtTest/QTest>

#include "terminal/TerminalError.h"
#include "terminal/view/QtTerminalCanvas.h"
#include "tests/terminal/TerminalViewFixture.h"

namespace terminal::test {
namespace {

TEST(TAdTerminalDefaults, PublishedPropertiesStartAsDesigned) {
  TAdTerminal view;
  EXPECT_TRUE(view.Active());
  EXPECT_EQ(view.ComPort(), nullptr);
  EXPECT_EQ(view.Emulator(), nullptr);
  EXPECT_EQ(view.Columns(), 80);
  EXPECT_EQ(view.Rows(), 24);
  EXPECT_EQ(view.ScrollbackRows(), 200);
  EXPECT_FALSE(view.Scrollback());
  EXPECT_TRUE(view.UseLazyDisplay());
  EXPECT_FALSE(view.HalfDuplex());
  EXPECT_TRUE(view.WantAllKeys());
  EXPECT_EQ(view.CursorType(), ctBlock);
  EXPECT_EQ(view.BorderStyle(), bsSingle);
  EXPECT_EQ(view.Color(), kColorBlack);
  EXPECT_EQ(view.FontColor(), kColorSilver);
  EXPECT_EQ(view.Font().family(), "Terminal");
  EXPECT_EQ(view.Font().pointSize(), 9);
  EXPECT_EQ(view.size(), QSize(300, 200));
  EXPECT_TRUE(view.Pending());  // active, waiting for a port
  EXPECT_FALSE(view.Receiving());
  EXPECT_TRUE(view.ActiveEmulator().BuiltIn());
  EXPECT_EQ(view.ActiveEmulator().Terminal(), &view);
}

using TAdTerminalView = TerminalViewTest;

TEST_F(TAdTerminalView, NineteenRowWindowShowsABarOverTheScreenRowsOnly) {
  SetClientCells(80, 19);
  QScrollBar* bar = view.verticalScrollBar();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 5);  // rows 1..6 can be at the top
  EXPECT_EQ(bar->pageStep(), 19);
  EXPECT_TRUE(bar->isEnabled());
}

TEST_F(TAdTerminalView, TallWindowKeepsTheBarAndReachesTheHistory) {
  SetClientCells(80, 24, 3, 5);
  QScrollBar* bar = view.verticalScrollBar();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->minimum(), -176);
  EXPECT_EQ(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), 0);
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(view.TopRow().Value(), -23);
  EXPECT_EQ(bar->value(), -24);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view.TopRow().Value(), -22);
}

TEST_F(TAdTerminalView, LineUpAtTheTopOfAShortWindowSwitchesScrollbackOnAndOff) {
  SetClientCells(80, 19);
  QScrollBar* bar = view.verticalScrollBar();
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_TRUE(view.Scrollback());
  EXPECT_EQ(view.TopRow().Value(), 0);
  EXPECT_EQ(bar->minimum(), -176);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view.TopRow().Value(), 2);
  EXPECT_TRUE(view.Scrollback());
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // scrolled below row 1
  EXPECT_FALSE(view.Scrollback());
  EXPECT_EQ(view.TopRow().Value(), 3);
  EXPECT_EQ(bar->minimum(), 0);
}

TEST_F(TAdTerminalView, ScrollingMovesTheContentsAndRepaintsTheExposedRows) {
  SetClientCells(80, 19);
  std::string lines;
  for (int row = 1; row <= 24; ++row) lines += "row" + std::to_string(row) + "\r\n";
  view.SetUseLazyDisplay(false);
  view.SetComPort(&port);
  Receive(lines.substr(0, lines.size() - 2));
  view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  Settle();
  EXPECT_EQ(view.TopRow().Value(), 2);
  // The top cell now shows row 2 and the bottom one row 20: compare the
  // pixels of "row2" and "row20" with a view that starts there.
  QImage scrolled = view.viewport()->grab().toImage();
  view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  Settle();
  QImage unscrolled = view.viewport()->grab().toImage();
  int rowHeight = view.CharHeight();
  EXPECT_EQ(scrolled.copy(0, 0, scrolled.width(), 18 * rowHeight),
            unscrolled.copy(0, rowHeight, unscrolled.width(), 18 * rowHeight));
}

// Received lines scroll the screen: one batch is one paint, and what reaches
// the window is what a full paint draws, whether the view shows the screen
// or history.
struct StreamCase {
  const char* name;
  int lineUps;  // rows the view is scrolled back into the history first
};

class TAdTerminalOnScreen : public TerminalViewTest {
 protected:
  // What reached the window, as opposed to what a paint would draw now.
  QImage OnScreen() {
    QPoint origin = view.viewport()->mapTo(view.window(), QPoint(0, 0));
    QSize size = view.viewport()->size();
    return view.screen()
        ->grabWindow(view.window()->winId(), origin.x(), origin.y(), size.width(), size.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  }
};

class TAdTerminalStream : public TAdTerminalOnScreen,
                          public testing::WithParamInterface<StreamCase> {};

TEST_P(TAdTerminalStream, ScrolledRowsShowWhatAFullPaintShows) {
  SetClientCells(80, 24, 0, 0);
  view.clearFocus();  // no caret
  view.SetUseLazyDisplay(false);
  view.SetComPort(&port);
  std::string block(63, 'x');
  block += '\n';
  for (int i = 0; i < 40; ++i) Receive(block);
  for (int i = 0; i < GetParam().lineUps; ++i)
    view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  Settle();
  for (int i = 0; i < 30; ++i) {
    block[std::size_t(i)] = char('a' + i % 26);
    Receive(i % 3 == 0 ? block + "\n\n" : block);
  }
  int paints = CountPaintsWhile([&] { Receive(block); });
  EXPECT_EQ(paints, 1);
  QImage full = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(OnScreen(), full);
}

INSTANTIATE_TEST_SUITE_P(Views, TAdTerminalStream,
                         testing::Values(StreamCase{"Screen", 0}, StreamCase{"History", 5}),
                         [](const testing::TestParamInfo<StreamCase>& info) {
                           return info.param.name;
                         });

// Batches are painted at the view's next frame, from the buffer as it is
// then; whatever happens between a batch and that frame (a: batch without
// waiting for the frame, e: expose, u/d: a line up/down, c: caret, s:
// selection drag, r: resize), once the view has painted, the window shows
// what a full paint draws.
struct FrameCase {
  const char* name;
  const char* steps;
};

class TAdTerminalFrames : public TAdTerminalOnScreen,
                          public testing::WithParamInterface<FrameCase> {
 protected:
  void Step(char step, int& batch) {
    int h = view.CharHeight();
    std::string block(63, char('a' + batch % 26));
    switch (step) {
      case 'a':
        // Sometimes a line that scrolls the screen by two.
        port.Receive(batch++ % 2 ? block + "\n\n" : block + "\n");
        platform::ProcessMessages();
        break;
      case 'e':
        view.viewport()->repaint(0, 3 * h, view.viewport()->width(), 4 * h);
        break;
      case 'u':
        view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
      case 'd':
        view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
      case 'c':
        if (view.hasFocus())
          view.clearFocus();
        else
          view.setFocus();
        break;
      case 's':
        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, CellCenter(3, 2));
        QTest::mouseMove(view.viewport(), CellCenter(30, 6));
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, CellCenter(30, 6));
        break;
      case 'r':
        view.resize(view.width(), view.height() - h);
        break;
    }
  }
};

TEST_P(TAdTerminalFrames, PaintedWindowEqualsAFullPaint) {
  SetClientCells(80, 24, 0, 0);
  view.SetUseLazyDisplay(false);
  view.SetComPort(&port);
  Receive(std::string(30, '\n'));
  int batch = 0;
  for (const char* step = GetParam().steps; *step; ++step) Step(*step, batch);
  Settle();
  QImage full = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(OnScreen(), full);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, TAdTerminalFrames,
    testing::Values(FrameCase{"Batches", "aaaaa"}, FrameCase{"ExposesBetween", "aeaeaea"},
                    FrameCase{"ScrolledBackBetween", "auauaudada"},
                    FrameCase{"CaretBetween", "acacaca"}, FrameCase{"SelectionBetween", "asaa"},
                    FrameCase{"ResizeBetween", "araea"}, FrameCase{"Everything", "aeausacardea"}),
    [](const testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

TEST_F(TAdTerminalView, EnlargingWhileScrolledDownLeavesNoEmptyBand) {
  SetClientCells(80, 19);
  view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(view.TopRow().Value(), 6);
  SetClientCells(80, 22);
  EXPECT_EQ(view.TopRow().Value(), 3);
  SetClientCells(80, 30);
  EXPECT_EQ(view.TopRow().Value(), 1);
}

TEST_F(TAdTerminalView, WiderScreenThanWindowShowsTheHorizontalBar) {
  SetClientCells(80, 24);
  view.SetColumns(120);
  Settle();
  QScrollBar* bar = view.horizontalScrollBar();
  ASSERT_TRUE(bar->isVisible());
  int fullCols = view.viewport()->width() / view.CharWidth();
  EXPECT_EQ(bar->maximum(), 120 - fullCols);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);  // stops at the last page
  EXPECT_EQ(view.LeftCol().Value(), 120 - fullCols + 1);
  view.SetColumns(80);
  Settle();
  EXPECT_EQ(view.LeftCol().Value(), 1);
  EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
}

TEST_F(TAdTerminalView, DimensionValuesOfZeroOrLessAreIgnored) {
  view.SetColumns(0);
  view.SetRows(-1);
  view.SetScrollbackRows(0);
  EXPECT_EQ(view.Columns(), 80);
  EXPECT_EQ(view.Rows(), 24);
  EXPECT_EQ(view.ScrollbackRows(), 200);
  EXPECT_THROW(view.SetColumns(1), TerminalError);
}

TEST_F(TAdTerminalView, ShrinkingTheHistoryBringsAViewScrolledIntoItBack) {
  SetClientCells(80, 24);
  for (int i = 0; i < 6; ++i)
    view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(view.TopRow().Value(), -143);
  view.SetScrollbackRows(50);
  EXPECT_EQ(view.TopRow().Value(), -25);
  EXPECT_EQ(view.verticalScrollBar()->minimum(), -26);
}

struct CaretCase {
  const char* name;
  TAdCursorType type;
  bool focused;
  bool shown;
};

class TAdTerminalCaret : public TerminalViewTest, public testing::WithParamInterface<CaretCase> {};

TEST_P(TAdTerminalCaret, IsDrawnAtTheCursorOnlyWithFocus) {
  view.SetComPort(&port);
  view.SetUseLazyDisplay(false);
  Receive("\r\nabc");  // cursor on row 2, column 4
  view.SetCursorType(GetParam().type);
  if (GetParam().focused) {
    view.setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  } else {
    view.clearFocus();
  }
  Settle();
  int w = view.CharWidth();
  int h = view.CharHeight();
  if (!GetParam().shown) {
    EXPECT_TRUE(view.CaretRect().isEmpty());
    return;
  }
  QRect expected =
      GetParam().type == ctBlock ? QRect(3 * w, h, w, h) : QRect(3 * w, 2 * h - 2, w, 2);
  EXPECT_EQ(view.CaretRect(), expected);
  // Drawn inverted over the black cell.
  QImage image = view.viewport()->grab().toImage();
  EXPECT_EQ(image.pixelColor(expected.center()), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(expected.center() + QPoint(w, 0)), QColor(Qt::black));
}

INSTANTIATE_TEST_SUITE_P(Types, TAdTerminalCaret,
                         testing::Values(CaretCase{"Block", ctBlock, true, true},
                                         CaretCase{"Underline", ctUnderline, true, true},
                                         CaretCase{"None", ctNone, true, false},
                                         CaretCase{"NoFocus", ctBlock, false, false}),
                         [](const testing::TestParamInfo<CaretCase>& info) {
                           return info.param.name;
                         });

TEST_F(TAdTerminalView, CaretHidesWhenTheFocusLeaves) {
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  EXPECT_FALSE(view.CaretRect().isEmpty());
  view.clearFocus();
  Settle();
  EXPECT_TRUE(view.CaretRect().isEmpty());
}

TEST_F(TAdTerminalView, SystemColoursArePaintedFromThePalette) {
  view.SetColor(kColorWindow);
  view.SetFontColor(kColorWindowText);
  Settle();
  QImage image = view.viewport()->grab().toImage();
  QColor base = view.palette().color(QPalette::Base);
  EXPECT_EQ(image.pixelColor(CellCenter(5, 5)), base);
  EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() - 1), base);  // margin
  EXPECT_EQ(view.ActiveEmulator().Buffer().RowBackColors(ScreenRow(1))[0], kColorWindow);
}

TEST(ResolveColor, MapsRgbAndSystemColours) {
  QPalette palette;
  palette.setColor(QPalette::Base, QColor(1, 2, 3));
  palette.setColor(QPalette::Text, QColor(4, 5, 6));
  EXPECT_EQ(ResolveColor(RgbColor(0x11, 0x22, 0x33), palette), QColor(0x11, 0x22, 0x33));
  EXPECT_EQ(ResolveColor(kColorWindow, palette), QColor(1, 2, 3));
  EXPECT_EQ(ResolveColor(kColorWindowText, palette), QColor(4, 5, 6));
}

TEST_F(TAdTerminalView, EraseEverythingClearsAndRepaints) {
  view.SetComPort(&port);
  view.SetUseLazyDisplay(false);
  Receive("some text\r\nmore");
  int paints = CountPaintsWhile([&] { view.EraseEverything(); });
  EXPECT_GE(paints, 1);
  EXPECT_EQ(RowText(view.ActiveEmulator().Buffer(), ScreenRow(1)), "");
  EXPECT_EQ(view.ActiveEmulator().Buffer().CursorCol().Value(), 1);
}

}  // namespace
}  // namespace terminal::test
