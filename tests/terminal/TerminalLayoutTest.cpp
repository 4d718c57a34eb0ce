#include <gtest/gtest.h>

#include "terminal/TerminalLayout.h"

namespace terminal {
namespace {

// ViewGeometry written as plain numbers in the tables.
struct Geometry {
  int clientWidth, clientHeight, cellWidth, cellHeight, colCount, rowCount, svRowCount;
  int leftCol, topRow;
  bool scrollback;

  operator ViewGeometry() const {
    return {clientWidth, clientHeight, cellWidth,       cellHeight,        colCount,
            rowCount,    svRowCount,   Column(leftCol), ScreenRow(topRow), scrollback};
  }
};

// 8 x 16 pixel cells on the default 80 x 24 screen with 200 rows in all.
ViewGeometry View(int widthCells, int heightPixels, int topRow = 1, bool scrollback = false) {
  return Geometry{widthCells * 8, heightPixels, 8, 16, 80, 24, 200, 1, topRow, scrollback};
}

TEST(ComputeLayout, NineteenRowWindowReachesOnlyTheScreenWithoutScrollback) {
  ViewLayout layout = ComputeLayout(View(80, 19 * 16));
  EXPECT_TRUE(layout.tooShort);
  EXPECT_TRUE(layout.verticalBarNeeded);
  EXPECT_FALSE(layout.horizontalBarNeeded);
  EXPECT_EQ(layout.vertical, (ScrollRange{0, 23, 19, 0}));
  EXPECT_EQ(ComputeLayout(View(80, 19 * 16, 1, true)).vertical, (ScrollRange{-176, 23, 19, 0}));
}

TEST(ComputeLayout, TallWindowKeepsTheBarForTheHistory) {
  ViewLayout layout = ComputeLayout(View(80, 24 * 16));
  EXPECT_FALSE(layout.tooShort);
  EXPECT_TRUE(layout.verticalBarNeeded);
  EXPECT_EQ(layout.vertical, (ScrollRange{-176, 23, 24, 0}));
  ViewGeometry noHistory = View(80, 24 * 16);
  noHistory.svRowCount = 24;
  EXPECT_FALSE(ComputeLayout(noHistory).verticalBarNeeded);
}

struct CountCase {
  const char* name;
  Geometry view;
  int visibleCols;
  int fullCols;
  int visibleRows;
  int fullRows;
  bool horizontalBar;
};

class LayoutCounts : public testing::TestWithParam<CountCase> {};

TEST_P(LayoutCounts, CountsPartlyAndFullyVisibleCells) {
  const CountCase& c = GetParam();
  ViewLayout layout = ComputeLayout(c.view);
  EXPECT_EQ(layout.visibleCols, c.visibleCols);
  EXPECT_EQ(layout.fullCols, c.fullCols);
  EXPECT_EQ(layout.visibleRows, c.visibleRows);
  EXPECT_EQ(layout.fullRows, c.fullRows);
  EXPECT_EQ(layout.horizontalBarNeeded, c.horizontalBar);
  EXPECT_EQ(layout.horizontal.page, c.fullCols);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, LayoutCounts,
    testing::Values(
        CountCase{"ExactFit", {640, 384, 8, 16, 80, 24, 200, 1, 1, false}, 80, 80, 24, 24, false},
        CountCase{
            "PartialLastCells", {500, 300, 8, 16, 80, 24, 200, 1, 1, false}, 63, 62, 19, 18, true},
        CountCase{"LargerThanTheScreen",
                  {900, 600, 8, 16, 80, 24, 200, 1, 1, false},
                  80,
                  80,
                  24,
                  24,
                  false},
        CountCase{
            "ScrolledRight", {900, 384, 8, 16, 80, 24, 200, 20, 1, false}, 61, 61, 24, 24, true},
        CountCase{"ScrolledIntoHistory",
                  {640, 600, 8, 16, 80, 24, 200, 1, -10, false},
                  80,
                  80,
                  35,
                  35,
                  false},
        CountCase{"EmptyClient", {0, 0, 8, 16, 80, 24, 200, 1, 1, false}, 0, 0, 0, 0, true}),
    [](const testing::TestParamInfo<CountCase>& info) { return info.param.name; });

TEST(ComputeLayout, MarginsCoverTheClientAreaOutsideTheCells) {
  ViewLayout layout = ComputeLayout(Geometry{700, 400, 8, 16, 80, 24, 200, 1, 1, false});
  EXPECT_EQ(layout.cellArea, (PixelRect{0, 0, 640, 384}));
  EXPECT_EQ(layout.rightMargin, (PixelRect{640, 0, 700, 384}));
  EXPECT_EQ(layout.bottomMargin, (PixelRect{0, 384, 700, 400}));
  layout = ComputeLayout(Geometry{500, 300, 8, 16, 80, 24, 200, 1, 1, false});
  EXPECT_EQ(layout.cellArea, (PixelRect{0, 0, 500, 300}));
  EXPECT_EQ(layout.rightMargin, (PixelRect{500, 0, 500, 300}));
}

struct VerticalCase {
  const char* name;
  int heightRows;
  int topRow;
  bool scrollback;
  ScrollAction action;
  int thumbPos;
  int newTopRow;
  bool newScrollback;
};

class VerticalScrolling : public testing::TestWithParam<VerticalCase> {};

TEST_P(VerticalScrolling, MovesTopRowWithinItsBounds) {
  const VerticalCase& c = GetParam();
  VerticalScroll result =
      ScrollVertically(c.action, c.thumbPos, View(80, c.heightRows * 16, c.topRow, c.scrollback));
  EXPECT_EQ(result.topRow.Value(), c.newTopRow);
  EXPECT_EQ(result.scrollback, c.newScrollback);
}

using A = ScrollAction;
INSTANTIATE_TEST_SUITE_P(
    Actions, VerticalScrolling,
    testing::Values(
        VerticalCase{"ShortLineBackAtTopTurnsScrollbackOn", 19, 1, false, A::LineBack, 0, 0, true},
        VerticalCase{"ShortInHistoryKeepsScrollback", 19, 0, true, A::LineForward, 0, 1, true},
        VerticalCase{"ShortAtRowOneKeepsScrollback", 19, 1, true, A::LineForward, 0, 2, true},
        VerticalCase{"ShortBelowRowOneTurnsScrollbackOff", 19, 2, true, A::LineBack, 0, 1, false},
        VerticalCase{"ShortPageBackBelowRowOneStopsAtRowOne", 19, 3, true, A::PageBack, 0, 1,
                     false},
        VerticalCase{"ShortLineForward", 19, 1, false, A::LineForward, 0, 2, false},
        VerticalCase{"ShortPageForwardStopsAtTheLastPage", 19, 5, false, A::PageForward, 0, 6,
                     false},
        VerticalCase{"ShortThumb", 19, 1, false, A::Thumb, 3, 4, false},
        VerticalCase{"ShortThumbIntoHistoryRefused", 19, 1, false, A::Thumb, -50, 1, false},
        VerticalCase{"ShortOtherActionOnlySwitches", 19, 3, true, A::Other, 0, 3, false},
        VerticalCase{"TallLineBackEntersHistory", 24, 1, false, A::LineBack, 0, 0, false},
        VerticalCase{"TallPageBack", 24, 1, false, A::PageBack, 0, -23, false},
        VerticalCase{"TallPageBackStopsAtTheOldestRow", 24, -170, false, A::PageBack, 0, -175,
                     false},
        VerticalCase{"TallLineForwardAtTheBottom", 24, 1, false, A::LineForward, 0, 1, false},
        VerticalCase{"TallThumb", 24, 1, false, A::Thumb, -100, -99, false}),
    [](const testing::TestParamInfo<VerticalCase>& info) { return info.param.name; });

struct HorizontalCase {
  int leftCol;
  ScrollAction action;
  int thumbPos;
  int newLeftCol;
};

class HorizontalScrolling : public testing::TestWithParam<HorizontalCase> {};

TEST_P(HorizontalScrolling, MovesLeftColWithinItsBounds) {
  ViewGeometry view =
      Geometry{500, 384, 8, 16, 80, 24, 200, GetParam().leftCol, 1, false};  // 62 columns
  EXPECT_EQ(ScrollHorizontally(GetParam().action, GetParam().thumbPos, view).Value(),
            GetParam().newLeftCol);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, HorizontalScrolling,
    testing::Values(HorizontalCase{1, A::LineForward, 0, 2}, HorizontalCase{1, A::LineBack, 0, 1},
                    HorizontalCase{1, A::PageForward, 0, 19}, HorizontalCase{19, A::PageBack, 0, 1},
                    HorizontalCase{19, A::LineForward, 0, 19}, HorizontalCase{1, A::Thumb, 10, 11},
                    HorizontalCase{5, A::Other, 0, 5}));

struct RefillCase {
  const char* name;
  int widthPixels;
  int heightPixels;
  int leftCol;
  int topRow;
  int newLeftCol;
  int newTopRow;
};

class RefillAfterResizing : public testing::TestWithParam<RefillCase> {};

TEST_P(RefillAfterResizing, LeavesNoEmptyBandWhereTheBufferCanFillIt) {
  const RefillCase& c = GetParam();
  ViewGeometry view =
      Geometry{c.widthPixels, c.heightPixels, 8, 16, 80, 24, 200, c.leftCol, c.topRow, false};
  RefillAfterResize(view);
  EXPECT_EQ(view.leftCol.Value(), c.newLeftCol);
  EXPECT_EQ(view.topRow.Value(), c.newTopRow);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RefillAfterResizing,
    testing::Values(RefillCase{"EnlargedWhileScrolledDown", 640, 24 * 16, 1, 5, 1, 1},
                    RefillCase{"StillFilled", 640, 19 * 16, 1, 3, 1, 3},
                    RefillCase{"PartlyEnlarged", 640, 19 * 16, 1, 10, 1, 6},
                    RefillCase{"TallerThanTheScreen", 640, 30 * 16, 1, 2, 1, 1},
                    RefillCase{"HistoryRowsAreLeftAlone", 640, 30 * 16, 1, -3, 1, -3},
                    RefillCase{"WidenedWhileScrolledRight", 640, 384, 30, 1, 1, 1},
                    RefillCase{"NarrowStillFilled", 500, 384, 10, 1, 10, 1},
                    RefillCase{"PartlyWidened", 600, 384, 30, 1, 6, 1}),
    [](const testing::TestParamInfo<RefillCase>& info) { return info.param.name; });

}  // namespace
}  // namespace terminal
