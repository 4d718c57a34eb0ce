// Rows, columns and rectangles of the terminal engine, one type per way of
// numbering them, so that one cannot be passed where another is meant:
//
//   Column     a buffer column as callers number it: 1 is the leftmost.
//   ScreenRow  a row as callers number it: 1 is the top screen row; 0, -1,
//              ... reach back into the history.
//   ColIndex   a column inside the buffer and its planes: 0 is the leftmost.
//   BufferRow  a row inside the buffer: 0 is the oldest history row, the
//              screen is the last RowCount rows.
//   PlaneRow   a row of a plane's block, where the buffer's rows turn round.
//
// Cell rectangles (CellRect) are 1-based and inclusive, as callers see them;
// ranges of ColIndex, BufferRow and PlaneRow are half-open [first, end);
// pixel rectangles (PixelRect) are half-open too.
#pragma once

#include <compare>

namespace terminal {

template <typename Tag>
class Coord {
 public:
  constexpr Coord() = default;
  constexpr explicit Coord(int value) : value_(value) {}

  constexpr int Value() const { return value_; }

  constexpr Coord operator+(int count) const { return Coord(value_ + count); }
  constexpr Coord operator-(int count) const { return Coord(value_ - count); }
  // The distance between two coordinates of the same kind.
  constexpr int operator-(Coord other) const { return value_ - other.value_; }
  constexpr Coord& operator+=(int count) {
    value_ += count;
    return *this;
  }
  constexpr Coord& operator-=(int count) {
    value_ -= count;
    return *this;
  }
  constexpr Coord& operator++() {
    ++value_;
    return *this;
  }
  constexpr Coord& operator--() {
    --value_;
    return *this;
  }
  friend constexpr auto operator<=>(Coord, Coord) = default;

 private:
  int value_ = 0;
};

using Column = Coord<struct ColumnTag>;
using ScreenRow = Coord<struct ScreenRowTag>;
using ColIndex = Coord<struct ColIndexTag>;
using BufferRow = Coord<struct BufferRowTag>;
using PlaneRow = Coord<struct PlaneRowTag>;

constexpr ColIndex IndexOf(Column col) {
  return ColIndex(col.Value() - 1);
}
constexpr Column ColumnOf(ColIndex index) {
  return Column(index.Value() + 1);
}

// Cells from (left, top) to (right, bottom), both corners included.
struct CellRect {
  Column left;
  ScreenRow top;
  Column right;
  ScreenRow bottom;

  friend bool operator==(const CellRect&, const CellRect&) = default;
};

// Pixels; right and bottom are exclusive.
struct PixelRect {
  int left;
  int top;
  int right;
  int bottom;

  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

}  // namespace terminal
