#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "terminal/TerminalBuffer.h"
#include "terminal/TerminalError.h"
#include "tests/terminal/TerminalTestSupport.h"

namespace terminal {
namespace {

using test::RowText;

void Write(TAdTerminalBuffer& buffer, const std::string& text) {
  for (char ch : text) buffer.WriteChar(std::uint8_t(ch));
}

CellRect Cells(int left, int top, int right, int bottom) {
  return {Column(left), ScreenRow(top), Column(right), ScreenRow(bottom)};
}

std::vector<CellRect> TakeAll(TAdTerminalBuffer& buffer) {
  std::vector<CellRect> rects;
  CellRect rect;
  while (buffer.TakeInvalidArea(rect)) rects.push_back(rect);
  return rects;
}

TEST(TAdTerminalBuffer, StartsAsAnEightyByTwentyFourScreenWithHistory) {
  TAdTerminalBuffer buffer;
  EXPECT_EQ(buffer.ColCount(), 80);
  EXPECT_EQ(buffer.RowCount(), 24);
  EXPECT_EQ(buffer.SVRowCount(), 200);
  EXPECT_EQ(buffer.OldestRow().Value(), -175);
  EXPECT_EQ(buffer.CursorRow().Value(), 1);
  EXPECT_EQ(buffer.CursorCol().Value(), 1);
  EXPECT_EQ(buffer.ForeColor(), kColorSilver);
  EXPECT_EQ(buffer.BackColor(), kColorBlack);
  EXPECT_EQ(RowText(buffer, ScreenRow(-175)), "");
  EXPECT_EQ(buffer.RowChars(ScreenRow(-176)), nullptr);
  EXPECT_EQ(buffer.RowChars(ScreenRow(25)), nullptr);
  EXPECT_EQ(TakeAll(buffer), (std::vector<CellRect>{Cells(1, 1, 80, 24)}));
  EXPECT_FALSE(buffer.IsDisplayDirty());
}

TEST(TAdTerminalBuffer, TabStopsEveryEightColumnsFromColumnOne) {
  TAdTerminalBuffer buffer;
  std::vector<int> stops;
  for (int i = 0; i < 11; ++i) {
    buffer.HorizontalTab();
    stops.push_back(buffer.CursorCol().Value());
  }
  EXPECT_EQ(stops, (std::vector<int>{9, 17, 25, 33, 41, 49, 57, 65, 73, 80, 80}));
}

TEST(TAdTerminalBuffer, CharacterInLastColumnWaitsForTheNextOneToWrap) {
  TAdTerminalBuffer buffer;
  Write(buffer, std::string(80, 'x'));
  EXPECT_EQ(buffer.CursorCol().Value(), 80);
  EXPECT_TRUE(buffer.WrapPending());
  Write(buffer, "y");
  EXPECT_EQ(RowText(buffer, ScreenRow(2)), "y");
  EXPECT_EQ(buffer.CursorRow().Value(), 2);
  EXPECT_EQ(buffer.CursorCol().Value(), 2);
  EXPECT_FALSE(buffer.WrapPending());
}

TEST(TAdTerminalBuffer, WrittenCellsTakeTheCurrentColours) {
  TAdTerminalBuffer buffer;
  buffer.SetForeColor(RgbColor(1, 2, 3));
  buffer.SetBackColor(kColorWindow);
  Write(buffer, "ab");
  EXPECT_EQ(buffer.RowForeColors(ScreenRow(1))[1], RgbColor(1, 2, 3));
  EXPECT_EQ(buffer.RowBackColors(ScreenRow(1))[1], kColorWindow);
  EXPECT_EQ(buffer.RowForeColors(ScreenRow(1))[2], kColorSilver);  // not written yet
  buffer.LineFeed();
  for (int i = 0; i < 23; ++i) buffer.LineFeed();  // the new bottom row takes the fill
  EXPECT_EQ(buffer.RowBackColors(ScreenRow(24))[0], kColorWindow);
}

TEST(TAdTerminalBuffer, DefaultColourReplacementRecoloursExactlyTheOldDefaultCells) {
  TAdTerminalBuffer buffer;
  Write(buffer, "a");
  buffer.SetBackColor(RgbColor(9, 9, 9));
  Write(buffer, "b");
  for (int i = 0; i < 30; ++i) buffer.LineFeed();  // row 1 is history now
  buffer.SetDefBackColor(RgbColor(0, 0, 200));
  const TerminalColor* backs = buffer.RowBackColors(ScreenRow(-6));
  EXPECT_EQ(backs[0], RgbColor(0, 0, 200));
  EXPECT_EQ(backs[1], RgbColor(9, 9, 9));
  EXPECT_EQ(backs[2], RgbColor(0, 0, 200));
  EXPECT_EQ(buffer.DefBackColor(), RgbColor(0, 0, 200));
  EXPECT_EQ(buffer.BackColor(), RgbColor(9, 9, 9));  // the current colour is separate
  buffer.SetDefForeColor(RgbColor(1, 1, 1));
  EXPECT_EQ(buffer.RowForeColors(ScreenRow(24))[79], RgbColor(1, 1, 1));
}

TEST(TAdTerminalBuffer, EraseEverythingEmptiesHistoryAndHomesTheCursor) {
  TAdTerminalBuffer buffer;
  for (int i = 0; i < 40; ++i) {
    Write(buffer, "line");
    buffer.CarriageReturn();
    buffer.LineFeed();
  }
  Write(buffer, "last");
  TakeAll(buffer);
  buffer.EraseEverything();
  for (int row = buffer.OldestRow().Value(); row <= buffer.RowCount(); ++row)
    ASSERT_EQ(RowText(buffer, ScreenRow(row)), "") << "row " << row;
  EXPECT_EQ(buffer.CursorRow().Value(), 1);
  EXPECT_EQ(buffer.CursorCol().Value(), 1);
  EXPECT_EQ(TakeAll(buffer), (std::vector<CellRect>{Cells(1, 1, 80, 24)}));
}

TEST(TAdTerminalBuffer, InvalidRectanglesMergeIntoOneBoxPerTake) {
  TAdTerminalBuffer buffer;
  TakeAll(buffer);
  buffer.HorizontalTab();
  Write(buffer, "ab");  // row 1, columns 9..10
  buffer.LineFeed();
  buffer.LineFeed();
  Write(buffer, "c");  // row 3, column 11
  buffer.CarriageReturn();
  Write(buffer, "d");  // row 3, column 1
  EXPECT_TRUE(buffer.IsDisplayDirty());
  EXPECT_EQ(TakeAll(buffer), (std::vector<CellRect>{Cells(1, 1, 11, 3)}));
  buffer.CarriageReturn();  // moving the cursor invalidates nothing
  EXPECT_FALSE(buffer.IsDisplayDirty());
}

TEST(TAdTerminalBuffer, ManyChangesWithoutATakeStillMergeToTheirBoundingBox) {
  TAdTerminalBuffer buffer;
  TakeAll(buffer);
  buffer.LineFeed();
  for (int i = 0; i < 20000; ++i) {
    buffer.WriteChar('z');
    buffer.Backspace();
  }
  buffer.HorizontalTab();
  buffer.WriteChar('q');
  EXPECT_EQ(TakeAll(buffer), (std::vector<CellRect>{Cells(1, 2, 9, 2)}));
}

struct DimensionCase {
  const char* name;
  void (TAdTerminalBuffer::*setter)(int);
  int value;
  const char* message;
};

class BufferDimensionTooSmall : public testing::TestWithParam<DimensionCase> {};

TEST_P(BufferDimensionTooSmall, RaisesItsMessageAndChangesNothing) {
  TAdTerminalBuffer buffer;
  Write(buffer, "keep");
  try {
    (buffer.*GetParam().setter)(GetParam().value);
    FAIL() << "no exception";
  } catch (const TerminalError& error) {
    EXPECT_STREQ(error.what(), GetParam().message);
  }
  EXPECT_EQ(buffer.ColCount(), 80);
  EXPECT_EQ(buffer.RowCount(), 24);
  EXPECT_EQ(buffer.SVRowCount(), 200);
  EXPECT_EQ(RowText(buffer, ScreenRow(1)), "keep");
  EXPECT_EQ(buffer.CursorCol().Value(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Setters, BufferDimensionTooSmall,
    testing::Values(DimensionCase{"ColsOne", &TAdTerminalBuffer::SetColCount, 1,
                                  "TAdTerminalBuffer.tbSetColCount: new count too small"},
                    DimensionCase{"ColsNegative", &TAdTerminalBuffer::SetColCount, -4,
                                  "TAdTerminalBuffer.tbSetColCount: new count too small"},
                    DimensionCase{"RowsOne", &TAdTerminalBuffer::SetRowCount, 1,
                                  "TAdTerminalBuffer.tbSetRowCount: new count too small"},
                    DimensionCase{"RowsZero", &TAdTerminalBuffer::SetRowCount, 0,
                                  "TAdTerminalBuffer.tbSetRowCount: new count too small"},
                    DimensionCase{"ScrollbackOne", &TAdTerminalBuffer::SetSVRowCount, 1,
                                  "TAdTerminalBuffer.tbSetSVRowCount: new count too small"}),
    [](const testing::TestParamInfo<DimensionCase>& info) { return info.param.name; });

TEST(TAdTerminalBuffer, RowCountAboveTheTotalIsIgnored) {
  TAdTerminalBuffer buffer;
  buffer.SetRowCount(201);
  EXPECT_EQ(buffer.RowCount(), 24);
  buffer.SetRowCount(200);
  EXPECT_EQ(buffer.RowCount(), 200);
  EXPECT_EQ(buffer.OldestRow().Value(), 1);
}

TEST(TAdTerminalBuffer, ShrinkingTheScreenMovesACursorAboveItToItsTopRow) {
  TAdTerminalBuffer buffer;
  for (int i = 0; i < 4; ++i) buffer.LineFeed();
  Write(buffer, "xy");  // row 5, column 3
  buffer.SetRowCount(10);
  // Row 5 of 24 lies above the last 10 rows: the cursor drops to the top.
  EXPECT_EQ(buffer.CursorRow().Value(), 1);
  EXPECT_EQ(buffer.CursorCol().Value(), 3);
  EXPECT_EQ(RowText(buffer, ScreenRow(-9)), "xy");  // the old row 5, now history
  buffer.SetRowCount(24);
  EXPECT_EQ(buffer.CursorRow().Value(), 15);
}

TEST(TAdTerminalBuffer, NewColumnCountKeepsOldTabStopsAndHomesTheCursor) {
  TAdTerminalBuffer buffer;
  Write(buffer, "abc");
  buffer.SetColCount(100);
  EXPECT_EQ(buffer.CursorRow().Value(), 1);
  EXPECT_EQ(buffer.CursorCol().Value(), 1);
  EXPECT_EQ(RowText(buffer, ScreenRow(1)), "abc");
  for (int i = 0; i < 9; ++i) buffer.HorizontalTab();
  EXPECT_EQ(buffer.CursorCol().Value(), 73);
  buffer.HorizontalTab();  // no stops were added past column 80
  EXPECT_EQ(buffer.CursorCol().Value(), 100);
  buffer.SetColCount(20);
  buffer.SetColCount(40);  // stops cut off at 20 do not come back
  for (int i = 0; i < 3; ++i) buffer.HorizontalTab();
  EXPECT_EQ(buffer.CursorCol().Value(), 40);
}

TEST(TAdTerminalBuffer, ScrollbackChangeKeepsTheCursorOnItsScreenRow) {
  TAdTerminalBuffer buffer;
  for (int i = 0; i < 30; ++i) {
    Write(buffer, std::to_string(i));
    buffer.CarriageReturn();
    buffer.LineFeed();
  }
  buffer.LineFeed();
  buffer.LineFeed();  // the cursor is on row 24
  buffer.SetSVRowCount(50);
  EXPECT_EQ(buffer.CursorRow().Value(), 24);
  EXPECT_EQ(buffer.OldestRow().Value(), -25);
  EXPECT_EQ(RowText(buffer, ScreenRow(21)), "29");
  EXPECT_EQ(RowText(buffer, ScreenRow(-8)), "0");
}

// Keeping the cursor's distance from the bottom used to put it above a
// screen that shrank together with the total, off the planes altogether.
TEST(TAdTerminalBuffer, ScrollbackBelowScreenHeightKeepsTheCursorOnScreen) {
  TAdTerminalBuffer buffer;
  Write(buffer, "top");
  buffer.SetSVRowCount(10);
  EXPECT_EQ(buffer.RowCount(), 10);
  EXPECT_EQ(buffer.OldestRow().Value(), 1);
  EXPECT_EQ(buffer.CursorRow().Value(), 1);
  Write(buffer, "!");
  EXPECT_EQ(buffer.CursorCol().Value(), 5);
  for (int i = 0; i < 12; ++i) buffer.LineFeed();
  EXPECT_EQ(buffer.CursorRow().Value(), 10);
}

TEST(TAdTerminalBuffer, ReportsCursorMovesButNotScrollingLineFeeds) {
  TAdTerminalBuffer buffer;
  std::vector<std::pair<int, int>> moves;
  buffer.OnCursorMoved = [&](TAdTerminalBuffer* sender, ScreenRow row, Column col) {
    EXPECT_EQ(sender, &buffer);
    moves.push_back({row.Value(), col.Value()});
  };
  buffer.WriteChar('a');
  buffer.CarriageReturn();
  buffer.CarriageReturn();  // already there: no move
  for (int i = 0; i < 23; ++i) buffer.LineFeed();
  EXPECT_TRUE(buffer.TakeCursorMoved());
  EXPECT_FALSE(buffer.TakeCursorMoved());
  buffer.LineFeed();  // scrolls
  EXPECT_FALSE(buffer.TakeCursorMoved());
  ASSERT_EQ(moves.size(), 25u);
  EXPECT_EQ(moves[0], std::make_pair(1, 2));
  EXPECT_EQ(moves[1], std::make_pair(1, 1));
  EXPECT_EQ(moves.back(), std::make_pair(24, 1));
}

TEST(TAdTerminalBuffer, UpdateReportsTheCursorOnceAtItsEnd) {
  TAdTerminalBuffer buffer;
  std::vector<std::pair<int, int>> moves;
  buffer.OnCursorMoved = [&](TAdTerminalBuffer*, ScreenRow row, Column col) {
    moves.push_back({row.Value(), col.Value()});
  };
  buffer.BeginUpdate();
  Write(buffer, "abc");
  buffer.LineFeed();
  buffer.CarriageReturn();
  EXPECT_TRUE(moves.empty());
  buffer.EndUpdate();
  EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{2, 1}}));
  EXPECT_TRUE(buffer.TakeCursorMoved());
  buffer.BeginUpdate();
  buffer.CarriageReturn();  // no move
  buffer.EndUpdate();
  EXPECT_EQ(moves.size(), 1u);
  Write(buffer, "d");  // reports at once again
  EXPECT_EQ(moves.size(), 2u);
}

TEST(TAdTerminalBuffer, SelectionMarksChangeOnlyTheGivenCells) {
  TAdTerminalBuffer buffer;
  EXPECT_TRUE(buffer.ChangeAttrBits(ScreenRow(0), Column(70), Column(200), kAttrSelected, true));
  EXPECT_FALSE(buffer.ChangeAttrBits(ScreenRow(0), Column(75), Column(80), kAttrSelected, true));
  const std::uint8_t* attrs = buffer.RowAttrs(ScreenRow(0));
  EXPECT_EQ(attrs[68], 0);
  EXPECT_EQ(attrs[69], kAttrSelected);
  EXPECT_EQ(attrs[79], kAttrSelected);
  EXPECT_TRUE(buffer.ChangeAttrBits(ScreenRow(0), Column(1), Column(80), kAttrSelected, false));
  EXPECT_EQ(attrs[79], 0);
  EXPECT_FALSE(buffer.ChangeAttrBits(ScreenRow(-300), Column(1), Column(80), kAttrSelected, true));
}

// WriteChars must leave exactly what WriteChar would, for any mix of
// printable stretches and cursor moves.
TEST(TAdTerminalBuffer, WritingAStretchAtOnceMatchesWritingItByteByByte) {
  std::mt19937 random(5);
  for (int round = 0; round < 50; ++round) {
    TAdTerminalBuffer single;
    TAdTerminalBuffer stretch;
    single.SetSVRowCount(30);
    stretch.SetSVRowCount(30);
    int singleMoves = 0;
    single.OnCursorMoved = [&](TAdTerminalBuffer*, ScreenRow, Column) { ++singleMoves; };
    for (int step = 0; step < 60; ++step) {
      int action = int(random() % 6);
      if (action < 3) {
        std::string text(random() % 200, ' ');
        for (char& ch : text) ch = char('!' + random() % 90);
        Write(single, text);
        stretch.WriteChars(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
      } else if (action == 3) {
        single.LineFeed();
        stretch.LineFeed();
      } else if (action == 4) {
        single.CarriageReturn();
        stretch.CarriageReturn();
      } else {
        single.Backspace();
        stretch.Backspace();
      }
      ASSERT_EQ(stretch.CursorRow().Value(), single.CursorRow().Value());
      ASSERT_EQ(stretch.CursorCol().Value(), single.CursorCol().Value());
      ASSERT_EQ(stretch.WrapPending(), single.WrapPending());
      ASSERT_EQ(stretch.TakeCursorMoved(), single.TakeCursorMoved());
    }
    for (int row = single.OldestRow().Value(); row <= single.RowCount(); ++row)
      ASSERT_EQ(RowText(stretch, ScreenRow(row)), RowText(single, ScreenRow(row))) << "row " << row;
    CellRect a, b;
    ASSERT_EQ(stretch.TakeInvalidArea(a), single.TakeInvalidArea(b));
    EXPECT_EQ(a, b);
    EXPECT_GT(singleMoves, 0);
  }
}

// What a painter that moves the shown rows is told: the rows scrolled and
// the cells changed after that move, history rows included.
struct ScreenChangesCase {
  const char* name;
  std::function<void(TAdTerminalBuffer&)> change;  // from row 24, column 1
  int scrolledRows;
  bool changed;
  CellRect area;
};

class BufferScreenChanges : public testing::TestWithParam<ScreenChangesCase> {};

TEST_P(BufferScreenChanges, MoveFirstThenTheArea) {
  TAdTerminalBuffer buffer;
  for (int i = 0; i < 23; ++i) buffer.LineFeed();
  TakeAll(buffer);
  GetParam().change(buffer);
  ScreenChanges changes;
  ASSERT_TRUE(buffer.TakeScreenChanges(changes));
  EXPECT_EQ(changes.scrolledRows, GetParam().scrolledRows);
  EXPECT_EQ(changes.changed, GetParam().changed);
  if (GetParam().changed) {
    EXPECT_EQ(changes.area, GetParam().area);
  }
  EXPECT_FALSE(buffer.TakeScreenChanges(changes));
  EXPECT_FALSE(buffer.IsDisplayDirty());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, BufferScreenChanges,
    testing::Values(ScreenChangesCase{"WriteThenScroll",
                                      [](TAdTerminalBuffer& b) {
                                        Write(b, "ab");
                                        b.LineFeed();
                                      },
                                      1, true, Cells(1, 23, 2, 23)},
                    ScreenChangesCase{"ScrollThenWrite",
                                      [](TAdTerminalBuffer& b) {
                                        b.LineFeed();
                                        b.HorizontalTab();
                                        Write(b, "c");
                                      },
                                      1, true, Cells(9, 24, 9, 24)},
                    ScreenChangesCase{"ScrolledOnly", [](TAdTerminalBuffer& b) { b.LineFeed(); }, 1,
                                      false, Cells(0, 0, 0, 0)},
                    ScreenChangesCase{"IntoTheHistory",
                                      [](TAdTerminalBuffer& b) {
                                        Write(b, "x");
                                        for (int i = 0; i < 30; ++i) b.LineFeed();
                                      },
                                      30, true, Cells(1, -6, 80, 24)},
                    ScreenChangesCase{"PastTheOldestRow",
                                      [](TAdTerminalBuffer& b) {
                                        Write(b, "x");
                                        for (int i = 0; i < 300; ++i) b.LineFeed();
                                      },
                                      200, true, Cells(1, -175, 80, 24)},
                    ScreenChangesCase{"EraseThenScroll",
                                      [](TAdTerminalBuffer& b) {
                                        b.EraseEverything();
                                        for (int i = 0; i < 25; ++i) b.LineFeed();
                                      },
                                      2, true, Cells(1, -1, 80, 22)}),
    [](const testing::TestParamInfo<ScreenChangesCase>& info) { return info.param.name; });

// A row that scrolled in holds the current attribute and colours, so text
// written there needs only its characters stored; every change of those
// cells or of the current values must still reach what is written next.
struct ScrolledRowCase {
  const char* name;
  std::function<void(TAdTerminalBuffer&)> change;
};

class ScrolledRowWrite : public testing::TestWithParam<ScrolledRowCase> {};

TEST_P(ScrolledRowWrite, TakesTheCurrentAttributeAndColours) {
  for (bool stretch : {false, true}) {
    TAdTerminalBuffer buffer;
    for (int i = 0; i < 30; ++i) buffer.LineFeed();  // the bottom row scrolled in
    GetParam().change(buffer);
    int row = buffer.CursorRow().Value();
    int col = buffer.CursorCol().Value() - 1;
    if (stretch)
      buffer.WriteChars(reinterpret_cast<const std::uint8_t*>("ab"), 2);
    else
      Write(buffer, "ab");
    for (int i = col; i < col + 2; ++i) {
      EXPECT_EQ(buffer.RowChars(ScreenRow(row))[i], "ab"[i - col]);
      EXPECT_EQ(buffer.RowAttrs(ScreenRow(row))[i], 0) << "column " << i + 1;
      EXPECT_EQ(buffer.RowForeColors(ScreenRow(row))[i], buffer.ForeColor()) << "column " << i + 1;
      EXPECT_EQ(buffer.RowBackColors(ScreenRow(row))[i], buffer.BackColor()) << "column " << i + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ScrolledRowWrite,
    testing::Values(
        ScrolledRowCase{"Nothing", [](TAdTerminalBuffer&) {}},
        ScrolledRowCase{"ForeColour",
                        [](TAdTerminalBuffer& b) { b.SetForeColor(RgbColor(1, 2, 3)); }},
        ScrolledRowCase{"BackColour", [](TAdTerminalBuffer& b) { b.SetBackColor(kColorWindow); }},
        // The cells of the old default change; the current colour does not.
        ScrolledRowCase{"DefaultForeColour",
                        [](TAdTerminalBuffer& b) { b.SetDefForeColor(RgbColor(7, 7, 7)); }},
        ScrolledRowCase{"DefaultBackColour",
                        [](TAdTerminalBuffer& b) { b.SetDefBackColor(RgbColor(7, 7, 7)); }},
        ScrolledRowCase{"SelectionMarks",
                        [](TAdTerminalBuffer& b) {
                          b.ChangeAttrBits(ScreenRow(24), Column(1), Column(80), kAttrSelected,
                                           true);
                        }},
        ScrolledRowCase{"ReverseMarks",
                        [](TAdTerminalBuffer& b) {
                          b.ChangeAttrBits(ScreenRow(24), Column(1), Column(80), kAttrReverse,
                                           true);
                        }},
        ScrolledRowCase{"Scrollback",
                        [](TAdTerminalBuffer& b) {
                          b.SetSVRowCount(26);
                          b.ChangeAttrBits(ScreenRow(24), Column(1), Column(80), kAttrSelected,
                                           true);
                        }},
        ScrolledRowCase{"Columns",
                        [](TAdTerminalBuffer& b) {
                          b.SetColCount(40);
                          b.ChangeAttrBits(ScreenRow(1), Column(1), Column(40), kAttrSelected,
                                           true);
                        }},
        ScrolledRowCase{"EraseEverything",
                        [](TAdTerminalBuffer& b) {
                          b.SetForeColor(kColorWindow);
                          b.EraseEverything();
                          b.SetForeColor(kColorSilver);
                        }}),
    [](const testing::TestParamInfo<ScrolledRowCase>& info) { return info.param.name; });

}  // namespace
}  // namespace terminal
