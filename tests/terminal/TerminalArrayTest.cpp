#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "terminal/TerminalArray.h"
#include "terminal/TerminalError.h"

namespace terminal {
namespace {

// A 1-byte plane of `rows` rows, each filled with its own letter.
TadTerminalArray LetteredPlane(int cols, int rows) {
  TadTerminalArray plane(1);
  plane.SetFillItem('.');
  plane.SetColCount(cols);
  plane.SetRowCount(rows);
  for (int row = 0; row < rows; ++row)
    plane.FillItems(PlaneRow(row), ColIndex(0), cols, std::uint32_t('a' + row));
  return plane;
}

std::string RowString(const TadTerminalArray& plane, int row) {
  auto* items = static_cast<const char*>(plane.GetItemPtr(PlaneRow(row), ColIndex(0)));
  return items ? std::string(items, std::size_t(plane.ColCount())) : "<none>";
}

std::vector<std::string> Rows(const TadTerminalArray& plane) {
  std::vector<std::string> rows;
  for (int row = 0; row < plane.RowCount(); ++row) rows.push_back(RowString(plane, row));
  return rows;
}

struct WidthCase {
  int itemSize;
  int cols;
  int rowWidth;
};

class PlaneRowWidth : public testing::TestWithParam<WidthCase> {};

TEST_P(PlaneRowWidth, PadsEachRowToWholeWords) {
  TadTerminalArray plane(GetParam().itemSize);
  EXPECT_EQ(plane.RowWidth(), -1);
  plane.SetColCount(GetParam().cols);
  plane.SetRowCount(3);
  EXPECT_EQ(plane.RowWidth(), GetParam().rowWidth);
  // Rows are contiguous and exactly that wide.
  auto* first = static_cast<char*>(plane.GetItemPtr(PlaneRow(0), ColIndex(0)));
  auto* second = static_cast<char*>(plane.GetItemPtr(PlaneRow(1), ColIndex(0)));
  EXPECT_EQ(second - first, GetParam().rowWidth * GetParam().itemSize);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PlaneRowWidth,
                         testing::Values(WidthCase{1, 80, 80}, WidthCase{1, 81, 84},
                                         WidthCase{1, 2, 4}, WidthCase{2, 3, 4},
                                         WidthCase{2, 80, 80}, WidthCase{4, 81, 81}));

TEST(TadTerminalArray, RefusesItemSizesOtherThanOneTwoOrFour) {
  for (int size : {0, 3, 5, 8, -1}) EXPECT_THROW(TadTerminalArray plane(size), TerminalError);
}

TEST(TadTerminalArray, HasNoItemsUntilBothCountsAreSet) {
  TadTerminalArray plane(4);
  plane.SetColCount(10);
  EXPECT_EQ(plane.GetItemPtr(PlaneRow(0), ColIndex(0)), nullptr);
  plane.SetRowCount(2);
  ASSERT_NE(plane.GetItemPtr(PlaneRow(1), ColIndex(9)), nullptr);
  EXPECT_EQ(plane.GetItemPtr(PlaneRow(2), ColIndex(0)), nullptr);
  EXPECT_EQ(plane.GetItemPtr(PlaneRow(0), ColIndex(10)), nullptr);
}

TEST(TadTerminalArray, NewBlockTakesTheFillItemInEveryItemSize) {
  for (int size : {1, 2, 4}) {
    TadTerminalArray plane(size);
    plane.SetFillItem(0xA1B2C3D4u);
    plane.SetColCount(5);
    plane.SetRowCount(2);
    std::uint32_t expected = size == 4 ? 0xA1B2C3D4u : size == 2 ? 0xC3D4u : 0xD4u;
    EXPECT_EQ(plane.FillItem(), expected);
    for (int col = 0; col < 5; ++col) {
      std::uint32_t item = 0;
      std::memcpy(&item, plane.GetItemPtr(PlaneRow(1), ColIndex(col)), std::size_t(size));
      EXPECT_EQ(item, expected) << "size " << size << " col " << col;
    }
  }
}

struct ScrollCase {
  const char* name;
  int count;
  int first;
  int last;
  std::vector<std::string> rows;
};

class PlaneScroll : public testing::TestWithParam<ScrollCase> {};

TEST_P(PlaneScroll, MovesRowsAndClearsWhatTheyLeave) {
  TadTerminalArray plane = LetteredPlane(3, 5);
  plane.ScrollRows(GetParam().count, PlaneRow(GetParam().first), PlaneRow(GetParam().last + 1));
  EXPECT_EQ(Rows(plane), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaneScroll,
    testing::Values(
        ScrollCase{"WholePlaneUpOne", 1, 0, 4, {"bbb", "ccc", "ddd", "eee", "..."}},
        ScrollCase{"WholePlaneUpTwo", 2, 0, 4, {"ccc", "ddd", "eee", "...", "..."}},
        ScrollCase{"WholePlaneDownOne", -1, 0, 4, {"...", "aaa", "bbb", "ccc", "ddd"}},
        ScrollCase{"InnerRangeUp", 1, 1, 3, {"aaa", "ccc", "ddd", "...", "eee"}},
        ScrollCase{"InnerRangeDown", -2, 1, 3, {"aaa", "...", "...", "bbb", "eee"}},
        ScrollCase{"CountOfWholeRangeClearsIt", 3, 1, 3, {"aaa", "...", "...", "...", "eee"}},
        ScrollCase{"CountBeyondPlaneClearsIt", -9, 0, 4, {"...", "...", "...", "...", "..."}},
        ScrollCase{"ZeroCountChangesNothing", 0, 0, 4, {"aaa", "bbb", "ccc", "ddd", "eee"}},
        ScrollCase{"RangeClippedToPlane", 1, -3, 9, {"bbb", "ccc", "ddd", "eee", "..."}}),
    [](const testing::TestParamInfo<ScrollCase>& info) { return info.param.name; });

TEST(TadTerminalArray, TurnedOriginStaysConsistentThroughLaterOperations) {
  TadTerminalArray plane = LetteredPlane(3, 5);
  plane.ScrollRows(2, PlaneRow(0), PlaneRow(5));  // c d e . .
  plane.FillItems(PlaneRow(4), ColIndex(1), 1, 'x');
  plane.ScrollRows(1, PlaneRow(1), PlaneRow(5));  // c e . .x .
  plane.ScrollRows(-1, PlaneRow(0), PlaneRow(5));
  EXPECT_EQ(Rows(plane), (std::vector<std::string>{"...", "ccc", "eee", "...", ".x."}));
  plane.SetRowCount(3);  // bottom-aligned copy out of a turned block
  EXPECT_EQ(Rows(plane), (std::vector<std::string>{"eee", "...", ".x."}));
}

TEST(TadTerminalArray, ResizeKeepsTheNewestRowsBottomAligned) {
  TadTerminalArray plane = LetteredPlane(4, 4);
  plane.SetRowCount(2);
  EXPECT_EQ(Rows(plane), (std::vector<std::string>{"cccc", "dddd"}));
  plane.SetRowCount(3);
  EXPECT_EQ(Rows(plane), (std::vector<std::string>{"....", "cccc", "dddd"}));
  plane.SetColCount(2);
  EXPECT_EQ(Rows(plane), (std::vector<std::string>{"..", "cc", "dd"}));
  plane.SetColCount(5);
  EXPECT_EQ(Rows(plane), (std::vector<std::string>{".....", "cc...", "dd..."}));
}

TEST(TadTerminalArray, ZeroCountsLeaveAnAllocatedPlaneAlone) {
  TadTerminalArray plane = LetteredPlane(4, 2);
  plane.SetRowCount(0);
  plane.SetColCount(0);
  EXPECT_EQ(plane.ColCount(), 4);
  EXPECT_EQ(Rows(plane), (std::vector<std::string>{"aaaa", "bbbb"}));
}

TEST(TadTerminalArray, WritesAndFillsStopAtTheRowEnd) {
  TadTerminalArray plane = LetteredPlane(5, 2);
  plane.WriteItems("123456789", 9, ColIndex(3), PlaneRow(0));
  plane.FillItems(PlaneRow(1), ColIndex(4), 100, 'z');
  plane.ClearItems(PlaneRow(1), ColIndex(0), ColIndex(2));
  plane.WriteItems("q", 1, ColIndex(5), PlaneRow(0));  // past the last column
  plane.WriteItems("q", 1, ColIndex(0), PlaneRow(2));  // past the last row
  plane.FillItems(PlaneRow(-1), ColIndex(0), 5, 'q');
  EXPECT_EQ(Rows(plane), (std::vector<std::string>{"aaa12", "..bbz"}));
}

TEST(TadTerminalArray, ReplaceChangesOnlyMatchingItems) {
  TadTerminalArray plane(4);
  plane.SetFillItem(7);
  plane.SetColCount(3);
  plane.SetRowCount(2);
  plane.FillItems(PlaneRow(0), ColIndex(1), 1, 9);
  plane.ReplaceItems(7, 0x12345678);
  auto item = [&](int row, int col) {
    return *static_cast<const std::uint32_t*>(plane.GetItemPtr(PlaneRow(row), ColIndex(col)));
  };
  EXPECT_EQ(item(0, 0), 0x12345678u);
  EXPECT_EQ(item(0, 1), 9u);
  EXPECT_EQ(item(1, 2), 0x12345678u);
  EXPECT_EQ(plane.FillItem(), 7u);
}

// The plane against a plain model that fills eagerly: random operations with
// reads in between now and then, so rows stay half written for a while.
class PlaneModel {
 public:
  explicit PlaneModel(std::uint32_t mask) : mask_(mask) {}
  void SetFill(std::uint32_t item) { fill_ = item & mask_; }
  void Resize(int cols, int rows) {
    if (cols == 0 || rows == 0 || (cols == cols_ && rows == rows_)) return;
    std::vector<std::vector<std::uint32_t>> next(
        std::size_t(rows), std::vector<std::uint32_t>(std::size_t(cols), fill_));
    int keep = std::min(rows, rows_);
    for (int i = 0; i < keep; ++i)
      for (int c = 0; c < std::min(cols, cols_); ++c)
        next[std::size_t(rows - keep + i)][std::size_t(c)] =
            cells_[std::size_t(rows_ - keep + i)][std::size_t(c)];
    cells_ = std::move(next);
    cols_ = cols;
    rows_ = rows;
  }
  void Fill(int row, int col, int count, std::uint32_t item) {
    if (row < 0 || row >= rows_ || col < 0 || col >= cols_ || count <= 0) return;
    for (int c = col; c < std::min(cols_, col + count); ++c)
      cells_[std::size_t(row)][std::size_t(c)] = item & mask_;
  }
  void ClearRows(int first, int last) {
    for (int row = std::max(first, 0); row <= std::min(last, rows_ - 1); ++row)
      Fill(row, 0, cols_, fill_);
  }
  void Replace(std::uint32_t from, std::uint32_t to) {
    for (auto& row : cells_)
      for (auto& cell : row)
        if (cell == (from & mask_)) cell = to & mask_;
  }
  void Scroll(int count, int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, rows_ - 1);
    int range = last - first + 1;
    if (count == 0 || range <= 0) return;
    int distance = std::abs(count);
    if (distance >= range) return ClearRows(first, last);
    if (count > 0) {
      for (int row = first; row <= last - distance; ++row)
        cells_[std::size_t(row)] = cells_[std::size_t(row + distance)];
      ClearRows(last - distance + 1, last);
    } else {
      for (int row = last; row >= first + distance; --row)
        cells_[std::size_t(row)] = cells_[std::size_t(row - distance)];
      ClearRows(first, first + distance - 1);
    }
  }
  std::uint32_t At(int row, int col) const { return cells_[std::size_t(row)][std::size_t(col)]; }
  int Cols() const { return cols_; }
  int Rows() const { return rows_; }

 private:
  std::uint32_t mask_;
  std::uint32_t fill_ = 0;
  int cols_ = 0;
  int rows_ = 0;
  std::vector<std::vector<std::uint32_t>> cells_;
};

std::uint32_t ItemAt(TadTerminalArray& plane, int row, int col) {
  std::uint32_t item = 0;
  std::memcpy(&item, plane.GetItemPtr(PlaneRow(row), ColIndex(col)), std::size_t(plane.ItemSize()));
  return item;
}

TEST(TadTerminalArray, LazyClearingReadsExactlyAsEagerFilling) {
  for (int itemSize : {1, 2, 4}) {
    std::mt19937 random(std::uint32_t(itemSize) * 11);
    std::uint32_t mask = itemSize == 4 ? 0xFFFFFFFFu : (1u << (8 * itemSize)) - 1;
    TadTerminalArray plane(itemSize);
    PlaneModel model(mask);
    plane.SetColCount(9);
    plane.SetRowCount(7);
    model.Resize(9, 7);
    auto pick = [&](int bound) { return int(random() % std::uint32_t(bound + 4)) - 2; };
    for (int step = 0; step < 4000; ++step) {
      int cols = plane.ColCount();
      int rows = plane.RowCount();
      std::uint32_t item = random() % 5;  // few values, so fills and items coincide
      switch (random() % 10) {
        case 0:
          plane.SetFillItem(item);
          model.SetFill(item);
          break;
        case 1:
          plane.ClearAll();
          model.ClearRows(0, rows - 1);
          break;
        case 2: {
          int first = pick(rows), last = pick(rows);
          plane.ClearRows(PlaneRow(first), PlaneRow(last + 1));
          model.ClearRows(first, last);
          break;
        }
        case 3:
        case 4: {
          int row = pick(rows), col = pick(cols), count = pick(cols);
          plane.FillItems(PlaneRow(row), ColIndex(col), count, item);
          model.Fill(row, col, count, item);
          break;
        }
        case 5: {
          int row = pick(rows), col = pick(cols);
          std::uint32_t items[3] = {item, item + 1, item + 2};
          std::vector<std::uint8_t> bytes(3 * std::size_t(itemSize));
          for (int i = 0; i < 3; ++i)
            std::memcpy(&bytes[std::size_t(i * itemSize)], &items[i], std::size_t(itemSize));
          plane.WriteItems(bytes.data(), 3, ColIndex(col), PlaneRow(row));
          if (col >= 0 && col < cols)  // the plane refuses a start outside the row
            for (int i = 0; i < 3; ++i) model.Fill(row, col + i, 1, items[i]);
          break;
        }
        case 6: {
          std::uint32_t to = random() % 5;
          plane.ReplaceItems(item, to);
          model.Replace(item, to);
          break;
        }
        case 7: {
          int count = pick(rows) - 1, first = pick(rows), last = pick(rows);
          if (random() % 2) first = 0, last = rows - 1;  // the whole plane
          plane.ScrollRows(count, PlaneRow(first), PlaneRow(last + 1));
          model.Scroll(count, first, last);
          break;
        }
        case 8: {
          int newCols = int(random() % 12), newRows = int(random() % 10);
          if (random() % 2)
            newCols = cols;
          else
            newRows = rows;
          plane.SetColCount(newCols);
          plane.SetRowCount(newRows);
          model.Resize(newCols, newRows);
          break;
        }
        default: {
          int row = int(random() % std::uint32_t(rows));
          for (int col = 0; col < cols; ++col)
            ASSERT_EQ(ItemAt(plane, row, col), model.At(row, col)) << "step " << step;
        }
      }
      ASSERT_EQ(plane.ColCount(), model.Cols());
      ASSERT_EQ(plane.RowCount(), model.Rows());
    }
    for (int row = 0; row < plane.RowCount(); ++row)
      for (int col = 0; col < plane.ColCount(); ++col)
        ASSERT_EQ(ItemAt(plane, row, col), model.At(row, col)) << "size " << itemSize;
  }
}

// A plane used as a ring, as the buffer does on every line feed (the oldest
// row cleared and turned round to the bottom, rows found from the origin),
// must read as the general scroll leaves it, and straighten when resized from
// the origin; on planes of every height, a single row included.
TEST(TadTerminalArray, RingOfRowsMatchesTheGeneralScrollAndWrite) {
  for (int rows = 1; rows <= 5; ++rows) {
    std::mt19937 random{std::uint32_t(rows)};
    TadTerminalArray ring = LetteredPlane(4, rows);
    TadTerminalArray general = LetteredPlane(4, rows);
    int origin = 0;
    auto ringRow = [&](int row) { return PlaneRow((origin + row) % rows); };
    auto ringRows = [&] {
      std::vector<std::string> text;
      for (int row = 0; row < rows; ++row) text.push_back(RowString(ring, ringRow(row).Value()));
      return text;
    };
    for (int step = 0; step < 300; ++step) {
      std::uint32_t item = 'a' + random() % 4;
      switch (random() % 4) {
        case 0:
          ring.ClearRow(PlaneRow(origin));
          origin = (origin + 1) % rows;
          general.ScrollRows(1, PlaneRow(0), PlaneRow(rows));
          break;
        case 1: {
          int row = int(random() % std::uint32_t(rows)), col = int(random() % 4);
          int count = 1 + int(random() % std::uint32_t(4 - col));
          const char text[] = "wxyz";
          ring.WriteItemsInside(text, count, ColIndex(col), ringRow(row));
          general.WriteItems(text, count, ColIndex(col), PlaneRow(row));
          break;
        }
        case 2:
          ring.SetFillItem(item);
          general.SetFillItem(item);
          break;
        default: {
          int row = int(random() % std::uint32_t(rows));
          ring.FillItems(ringRow(row), ColIndex(1), 2, item);
          general.FillItems(PlaneRow(row), ColIndex(1), 2, item);
          break;
        }
      }
      ASSERT_EQ(ringRows(), Rows(general)) << rows << " rows, step " << step;
    }
    ring.Resize(4, rows, PlaneRow(origin));
    EXPECT_EQ(Rows(ring), Rows(general)) << rows << " rows straightened";
  }
}

}  // namespace
}  // namespace terminal
