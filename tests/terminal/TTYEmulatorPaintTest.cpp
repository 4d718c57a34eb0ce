// Painting through a recording canvas, and characters typed into the view.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "terminal/TTYEmulator.h"
#include "tests/terminal/TerminalTestSupport.h"

namespace terminal {
namespace {

using test::Bytes;
using test::DrawnRun;
using test::RowText;

constexpr TerminalColor kRed = RgbColor(0xFF, 0, 0);
constexpr TerminalColor kNavy = RgbColor(0, 0, 0x80);

class TTYPaint : public testing::Test {
 protected:
  TTYPaint() { emulator.SetTerminal(&host); }

  void Receive(const std::string& text) {
    std::vector<std::uint8_t> bytes = Bytes(text);
    emulator.HandleReceivedBlock(bytes.data(), bytes.size());
  }
  // Paints what is pending and forgets it, so a test starts from a clean
  // screen.
  void Settle() {
    emulator.DeferredRepaint();
    host.canvas.runs.clear();
  }
  std::vector<DrawnRun>& Runs() { return host.canvas.runs; }
  // (row, first column, last column) of every run, from its position.
  std::vector<std::tuple<int, int, int>> Cells() {
    std::vector<std::tuple<int, int, int>> cells;
    for (const DrawnRun& run : Runs()) {
      int first = run.x / host.cellWidth + host.leftCol;
      cells.emplace_back(run.y / host.cellHeight + host.topRow, first,
                         first + int(run.text.size()) - 1);
    }
    return cells;
  }

  test::FakeHost host;
  TAdTTYEmulator emulator;
};

TEST_F(TTYPaint, SplitsRowsIntoRunsOfEqualColoursDrawnRightToLeft) {
  Settle();
  TAdTerminalBuffer& buffer = emulator.Buffer();
  Receive("\naaa");
  buffer.SetForeColor(kRed);
  Receive("bb");
  buffer.SetBackColor(kNavy);
  Receive("c");
  buffer.SetForeColor(kColorSilver);
  buffer.SetBackColor(kColorBlack);
  Receive("dd");
  emulator.DeferredRepaint();
  ASSERT_EQ(Runs().size(), 4u);
  EXPECT_EQ(Runs()[0].text, "dd");
  EXPECT_EQ(Runs()[0].x, 48);
  EXPECT_EQ(Runs()[0].y, 16);
  EXPECT_EQ(Runs()[1].text, "c");
  EXPECT_EQ(Runs()[1].fore, kRed);
  EXPECT_EQ(Runs()[1].back, kNavy);
  EXPECT_EQ(Runs()[2].text, "bb");
  EXPECT_EQ(Runs()[2].fore, kRed);
  EXPECT_EQ(Runs()[2].back, kColorBlack);
  EXPECT_EQ(Runs()[3].text, "aaa");
  EXPECT_EQ(Runs()[3].x, 0);
  for (const DrawnRun& run : Runs()) {
    EXPECT_EQ(run.cellHeight, 16);
    EXPECT_EQ(run.advances, std::vector<std::int32_t>(run.text.size(), 8));
  }
}

TEST_F(TTYPaint, AttributeChangeAloneEndsARun) {
  Settle();
  Receive("abcdef");
  emulator.Buffer().ChangeAttrBits(ScreenRow(1), Column(3), Column(4), kAttrSelected, true);
  emulator.DeferredRepaint();
  std::vector<std::string> texts;
  for (const DrawnRun& run : Runs()) texts.push_back(run.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"ef", "cd", "ab"}));
}

struct SwapCase {
  std::uint8_t attrs;
  bool swapped;
};

class TTYPaintSwap : public TTYPaint, public testing::WithParamInterface<SwapCase> {};

TEST_P(TTYPaintSwap, ExchangesColoursForExactlyOneOfReverseAndSelected) {
  Receive("x");
  emulator.Buffer().ChangeAttrBits(ScreenRow(1), Column(1), Column(1), GetParam().attrs, true);
  host.canvas.clip = {0, 0, 8, 16};
  emulator.Paint();
  ASSERT_EQ(Runs().size(), 1u);
  EXPECT_EQ(Runs()[0].fore, GetParam().swapped ? kColorBlack : kColorSilver);
  EXPECT_EQ(Runs()[0].back, GetParam().swapped ? kColorSilver : kColorBlack);
}

INSTANTIATE_TEST_SUITE_P(Attributes, TTYPaintSwap,
                         testing::Values(SwapCase{0, false}, SwapCase{kAttrSelected, true},
                                         SwapCase{kAttrReverse, true},
                                         SwapCase{kAttrSelected | kAttrReverse, false},
                                         SwapCase{0x20, false},
                                         SwapCase{0x20 | kAttrSelected, true}));

TEST_F(TTYPaint, RepaintsOnlyTheMergedAreaOfWhatChanged) {
  Settle();
  Receive("\n\n\n\n\t\tX");  // row 5, column 17
  Receive("\r\n\n\tY");      // row 7, column 9
  emulator.DeferredRepaint();
  EXPECT_EQ(Cells(), (std::vector<std::tuple<int, int, int>>{{5, 9, 17}, {6, 9, 17}, {7, 9, 17}}));
  Runs().clear();
  emulator.DeferredRepaint();
  EXPECT_TRUE(Runs().empty());
}

// After a scroll every row the view shows is painted whole, each once: the
// view never moves what it painted before.
struct ScrollPaintCase {
  const char* name;
  int lineFeeds;
  int viewTopRow;
};

class TTYScrollPaint : public TTYPaint, public testing::WithParamInterface<ScrollPaintCase> {};

TEST_P(TTYScrollPaint, PaintsEveryShownRowOnce) {
  const ScrollPaintCase& c = GetParam();
  host.topRow = c.viewTopRow;
  Settle();
  Receive(std::string(std::size_t(c.lineFeeds), '\n') + "z");
  emulator.DeferredRepaint();
  std::set<int> rows;
  for (auto [row, first, last] : Cells()) {
    EXPECT_TRUE(rows.insert(row).second) << "row " << row << " painted twice";
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 80);
  }
  std::set<int> expected;
  for (int row = c.viewTopRow; row < c.viewTopRow + host.rows; ++row) expected.insert(row);
  EXPECT_EQ(rows, expected);
}

INSTANTIATE_TEST_SUITE_P(Scrolls, TTYScrollPaint,
                         testing::Values(ScrollPaintCase{"SevenRows", 30, 1},
                                         ScrollPaintCase{"EveryRowShown", 47, 1},
                                         ScrollPaintCase{"MoreThanTheScreen", 300, 1},
                                         ScrollPaintCase{"ViewInTheHistory", 30, -5}),
                         [](const testing::TestParamInfo<ScrollPaintCase>& info) {
                           return info.param.name;
                         });

TEST_F(TTYPaint, ViewColourChangeRecoloursOldDefaultCellsAndRepaintsEverything) {
  emulator.Buffer().SetForeColor(kRed);
  Receive("r");
  emulator.Buffer().SetForeColor(kColorSilver);
  Receive("s");
  Settle();
  emulator.RepaintPending();  // forget the cursor moves
  host.color = kNavy;
  host.fontColor = RgbColor(0xFF, 0xFF, 0xFF);
  EXPECT_FALSE(emulator.RepaintPending());  // the change is noticed by painting
  host.canvas.clip = {0, 0, 8, 16};
  emulator.Paint();  // recolours the cells and schedules the full repaint
  EXPECT_TRUE(emulator.RepaintPending());
  Runs().clear();
  emulator.DeferredRepaint();
  ASSERT_EQ(Runs().size(), 25u);  // row 1 holds two runs
  for (const DrawnRun& run : Runs()) EXPECT_EQ(run.back, kNavy);
  EXPECT_EQ(Runs()[0].text, "s" + std::string(78, ' '));
  EXPECT_EQ(Runs()[0].fore, RgbColor(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(Runs()[1].text, "r");
  EXPECT_EQ(Runs()[1].fore, kRed);
  EXPECT_FALSE(emulator.RepaintPending());
  Receive("t");  // new text takes the new colours
  EXPECT_EQ(emulator.Buffer().RowForeColors(ScreenRow(1))[2], RgbColor(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(emulator.Buffer().RowBackColors(ScreenRow(1))[2], kNavy);
}

TEST_F(TTYPaint, RepaintPendingCountsACursorMoveOnce) {
  Settle();
  EXPECT_FALSE(emulator.RepaintPending());
  Receive("\r\n");
  EXPECT_TRUE(emulator.RepaintPending());
  EXPECT_FALSE(emulator.RepaintPending());
  Receive("q");
  EXPECT_TRUE(emulator.RepaintPending());
  EXPECT_TRUE(emulator.RepaintPending());  // still dirty until repainted
}

struct ClipCase {
  const char* name;
  PixelRect clip;
  int leftCol;
  int topRow;
  std::vector<std::tuple<int, int, int>> cells;
};

class TTYPaintClip : public TTYPaint, public testing::WithParamInterface<ClipCase> {};

TEST_P(TTYPaintClip, PaintsTheCellsUnderTheClipRectangle) {
  host.leftCol = GetParam().leftCol;
  host.topRow = GetParam().topRow;
  host.rows = 10;
  host.cols = 20;
  host.canvas.clip = GetParam().clip;
  emulator.Paint();
  EXPECT_EQ(Cells(), GetParam().cells);
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, TTYPaintClip,
    testing::Values(ClipCase{"WholeCells", {16, 16, 40, 48}, 1, 1, {{2, 3, 5}, {3, 3, 5}}},
                    ClipCase{"PartlyCoveredCells", {17, 31, 41, 33}, 1, 1, {{2, 3, 6}, {3, 3, 6}}},
                    ClipCase{"ScrolledIntoHistory", {0, 0, 8, 32}, 5, -3, {{-3, 5, 5}, {-2, 5, 5}}},
                    ClipCase{
                        "ClippedToVisibleRowsAndColumns", {0, 144, 400, 400}, 1, 1, {{10, 1, 20}}},
                    ClipCase{"EmptyClip", {10, 10, 10, 40}, 1, 1, {}},
                    ClipCase{"BelowTheVisibleRows", {0, 160, 8, 200}, 1, 1, {}}),
    [](const testing::TestParamInfo<ClipCase>& info) { return info.param.name; });

struct WideCase {
  int cols;
  std::vector<int> lengths;
};

class TTYPaintWide : public TTYPaint, public testing::WithParamInterface<WideCase> {};

// A row wider than the paint buffers is drawn in several runs instead of
// overrunning them.
TEST_P(TTYPaintWide, RowsWiderThanThePaintBuffersAreDrawnInPieces) {
  emulator.Buffer().SetColCount(GetParam().cols);
  host.cols = GetParam().cols;
  host.rows = 1;
  Receive(std::string(std::size_t(GetParam().cols), 'w'));
  emulator.DeferredRepaint();
  std::vector<int> lengths;
  int covered = 0;
  for (const DrawnRun& run : Runs()) {
    lengths.push_back(int(run.text.size()));
    EXPECT_EQ(run.text, std::string(run.text.size(), 'w'));
    EXPECT_EQ(run.x, (GetParam().cols - covered - int(run.text.size())) * 8);
    covered += int(run.text.size());
  }
  EXPECT_EQ(lengths, GetParam().lengths);
}

INSTANTIATE_TEST_SUITE_P(Widths, TTYPaintWide,
                         testing::Values(WideCase{255, {255}}, WideCase{256, {1, 255}},
                                         WideCase{300, {45, 255}}, WideCase{600, {90, 255, 255}}));

TEST_F(TTYPaint, NothingIsPaintedWithoutAView) {
  emulator.SetTerminal(nullptr);
  emulator.DeferredRepaint();
  emulator.Paint();
  EXPECT_TRUE(Runs().empty());
  EXPECT_TRUE(emulator.Buffer().IsDisplayDirty());
}

struct TypingCase {
  const char* name;
  bool halfDuplex;
  bool hasPort;
  bool portOpen;
  std::uint8_t typed;
  std::vector<std::uint8_t> sent;
  std::string shown;
  std::uint8_t passedOn;
};

class TTYTyping : public TTYPaint, public testing::WithParamInterface<TypingCase> {};

TEST_P(TTYTyping, SendsTypedCharactersAndEchoesInHalfDuplex) {
  test::FakePort port;
  port.open = GetParam().portOpen;
  host.port = GetParam().hasPort ? &port : nullptr;
  host.halfDuplex = GetParam().halfDuplex;
  std::uint8_t ch = GetParam().typed;
  emulator.KeyPress(ch);
  EXPECT_EQ(ch, GetParam().passedOn);
  EXPECT_EQ(port.sent, GetParam().sent);
  EXPECT_EQ(RowText(emulator.Buffer(), ScreenRow(1)), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TTYTyping,
    testing::Values(TypingCase{"FullDuplexOnlySends", false, true, true, 'a', {'a'}, "", 'a'},
                    TypingCase{"HalfDuplexShowsAndSends", true, true, true, 'a', {'a'}, "a", 'a'},
                    TypingCase{"BackspaceIsSentAsDel", false, true, true, 8, {0x7F}, "", 0x7F},
                    TypingCase{
                        "EchoedBackspaceShowsDel", true, true, true, 8, {0x7F}, "\x7f", 0x7F},
                    TypingCase{"CtrlCIsSent", false, true, true, 3, {3}, "", 3},
                    TypingCase{"ClosedPortSendsNothing", false, true, false, 'a', {}, "", 'a'},
                    TypingCase{"ClosedPortStillEchoes", true, true, false, 'a', {}, "a", 'a'},
                    TypingCase{"NoPortStillEchoes", true, false, false, 'a', {}, "a", 'a'}),
    [](const testing::TestParamInfo<TypingCase>& info) { return info.param.name; });

TEST(TAdTerminalEmulator, TransmitWithoutAViewDoesNothing) {
  TAdTTYEmulator emulator;
  emulator.TransmitChar('a', true);
  EXPECT_EQ(RowText(emulator.Buffer(), ScreenRow(1)), "");
}

}  // namespace
}  // namespace terminal
