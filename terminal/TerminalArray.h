// TadTerminalArray: one plane of per-cell items (characters, attributes or
// colours) for every row of a terminal buffer, history included.
//
// The items live in one block, row-major, each row padded to a multiple of 4
// bytes. Rows are addressed logically (0 = oldest); the block keeps a rotating
// row origin so that scrolling the whole plane moves no rows. Rows and columns
// here are 0-based; the buffer does the 1-based numbering.
//
// Every row or cell an operation vacates or clears takes the fill item.
// Operations clip to the plane; only the constructor throws. Not thread-safe:
// one owner thread.
#pragma once

#include <cstdint>
#include <memory>

namespace terminal {

class TadTerminalArray {
 public:
  // itemSize is 1, 2 or 4 bytes; anything else throws TerminalError.
  explicit TadTerminalArray(int itemSize);

  int ItemSize() const { return itemSize_; }
  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  // Allocated row width in items: the column count padded to 4 bytes; -1
  // until the first allocation.
  int RowWidth() const { return rowWidth_; }
  std::uint32_t FillItem() const { return fillItem_; }

  // Resizing keeps the last min(old, new) rows, bottom-aligned, with
  // min(old, new) columns; everything else takes the fill item. Nothing is
  // allocated while either count is 0.
  void SetColCount(int colCount);
  void SetRowCount(int rowCount);
  // Only the low ItemSize() bytes are kept.
  void SetFillItem(std::uint32_t item);

  void ClearAll();
  void ClearRows(int firstRow, int lastRow);
  void ClearItems(int row, int firstCol, int lastCol);
  // Sets count cells from (col, row) to item, clipped at the row's end.
  void FillItems(int row, int col, int count, std::uint32_t item);
  // Copies count items from `items` (ItemSize() bytes each) to (col, row),
  // clipped at the row's end.
  void WriteItems(const void* items, int count, int col, int row);
  void ReplaceItems(std::uint32_t oldItem, std::uint32_t newItem);
  // Positive counts move rows of [firstRow, lastRow] up, negative ones down;
  // the vacated rows are cleared. A count covering the range clears it all.
  void ScrollRows(int count, int firstRow, int lastRow);

  // The item at (row, col); the row's items follow it contiguously up to the
  // row's end. nullptr when the plane has no block or the cell is outside.
  void* GetItemPtr(int row, int col);
  const void* GetItemPtr(int row, int col) const;

 private:
  std::uint8_t* rowStart(int row) const;
  void resize(int colCount, int rowCount);
  void fillRow(std::uint8_t* row, std::uint32_t pattern) const;
  std::uint32_t wordPattern(std::uint32_t item) const;
  std::uint32_t itemMask() const;

  int rowWidth_ = -1;
  int colCount_ = 0;
  std::uint32_t fillItem_ = 0;
  std::unique_ptr<std::uint32_t[]> block_;
  int itemSize_;
  int rowCount_ = 0;
  int rowOrigin_ = 0;  // block row holding logical row 0
};

}  // namespace terminal
