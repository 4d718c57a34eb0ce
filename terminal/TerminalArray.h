// TadTerminalArray: one plane of per-cell items (characters, attributes or
// colours) for every row of a terminal buffer, history included.
//
// The items live in one block, row-major, each row padded to a multiple of 4
// bytes. Rows are addressed logically (0 = oldest); the block keeps a rotating
// row origin so that scrolling the whole plane moves no rows. Rows and columns
// here are 0-based; the buffer does the 1-based numbering.
//
// Every row or cell an operation vacates or clears takes the fill item.
// Clearing is lazy: a cleared row only records the fill item, and a row holds
// real items up to a watermark, beyond which its cells read as that fill. A
// write fills the gap in front of it; handing out a pointer (GetItemPtr)
// completes the row. So a row that scrolls in and is written partly costs
// only what is written, and rows nobody reads are never filled.
//
// Operations clip to the plane (WriteItemsInside trusts its caller); only
// the constructor throws. Not thread-safe, reads included (they may complete
// a row): one owner thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
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
  // Sets count cells from (col, row) to item (low ItemSize() bytes), clipped
  // at the row's end.
  void FillItems(int row, int col, int count, std::uint32_t item) {
    if (!validCell(row, col) || count <= 0) return;
    const RowState& state = rowStates_[blockRow(row)];
    // Cells past the watermark already read as the row's fill.
    if (col >= state.filled && (item & itemMask_) == state.fill) return;
    fillItems(row, col, count, item);
  }
  // Copies count items from `items` (ItemSize() bytes each) to (col, row),
  // clipped at the row's end.
  void WriteItems(const void* items, int count, int col, int row) {
    if (!validCell(row, col) || count <= 0) return;
    int index = blockRow(row);
    complete(index, col);
    count = std::min(count, colCount_ - col);
    std::memcpy(blockRowStart(index) + static_cast<std::size_t>(col) * itemSize_, items,
                static_cast<std::size_t>(count) * itemSize_);
    RowState& state = rowStates_[index];
    state.filled = std::max(state.filled, col + count);
  }
  // WriteItems for a caller that keeps the cells inside the plane (an
  // allocated block, row and col valid, 1 <= count <= ColCount() - col), as
  // the buffer does at its cursor: no clipping, so a line costs less.
  void WriteItemsInside(const void* items, int count, int col, int row) {
    int index = blockRow(row);
    complete(index, col);
    std::memcpy(blockRowStart(index) + static_cast<std::size_t>(col) * itemSize_, items,
                static_cast<std::size_t>(count) * itemSize_);
    RowState& state = rowStates_[index];
    state.filled = std::max(state.filled, col + count);
  }
  void ReplaceItems(std::uint32_t oldItem, std::uint32_t newItem);
  // Positive counts move rows of [firstRow, lastRow] up, negative ones down;
  // the vacated rows are cleared. A count covering the range clears it all.
  void ScrollRows(int count, int firstRow, int lastRow) {
    if (block_ && count > 0 && count < rowCount_ && firstRow <= 0 && lastRow >= rowCount_ - 1) {
      // The whole plane up, as every line feed at the bottom does: the oldest
      // rows turn round to the bottom, cleared.
      for (int i = 0; i < count; ++i) {
        clearBlockRow(rowOrigin_);
        if (++rowOrigin_ == rowCount_) rowOrigin_ = 0;
      }
      return;
    }
    scrollRows(count, firstRow, lastRow);
  }

  // The same as ScrollRows(1, 0, RowCount() - 1), as every line feed at the
  // bottom of a screen does, without the general case's checks.
  void ScrollAllUp() {
    if (!block_) return;
    // Read before the store below, which the compiler must assume may alias.
    int origin = rowOrigin_;
    int next = origin + 1 == rowCount_ ? 0 : origin + 1;
    rowOrigin_ = next;
    clearBlockRow(origin);
  }

  // The item at (row, col); the row's items follow it contiguously up to the
  // row's end. nullptr when the plane has no block or the cell is outside.
  void* GetItemPtr(int row, int col);
  const void* GetItemPtr(int row, int col) const;

 private:
  // Per block row: items [0, filled) are real; the rest read as `fill`.
  struct RowState {
    int filled;
    std::uint32_t fill;
  };

  bool validCell(int row, int col) const {
    // Negative numbers wrap to large unsigned ones: one compare per bound.
    return static_cast<unsigned>(row) < static_cast<unsigned>(rowCount_) &&
           static_cast<unsigned>(col) < static_cast<unsigned>(colCount_) && block_;
  }
  int blockRow(int row) const {
    int index = rowOrigin_ + row;
    return index >= rowCount_ ? index - rowCount_ : index;
  }
  std::uint8_t* blockRowStart(int index) const {
    return reinterpret_cast<std::uint8_t*>(block_.get()) +
           static_cast<std::size_t>(index) * rowWidth_ * itemSize_;
  }
  void clearBlockRow(int index) { rowStates_[index] = {0, fillItem_}; }
  // Gives cells [filled, upTo) of a block row their fill; logically const.
  void complete(int index, int upTo) const {
    if (rowStates_[index].filled < upTo) completeRow(index, upTo);
  }
  void completeRow(int index, int upTo) const;
  void fillItems(int row, int col, int count, std::uint32_t item);
  void scrollRows(int count, int firstRow, int lastRow);
  void fillCells(std::uint8_t* row, int from, int to, std::uint32_t item) const;
  void resize(int colCount, int rowCount);

  int rowWidth_ = -1;
  int colCount_ = 0;
  std::uint32_t fillItem_ = 0;
  std::unique_ptr<std::uint32_t[]> block_;
  int itemSize_;
  std::uint32_t itemMask_ = 0;
  int rowCount_ = 0;
  int rowOrigin_ = 0;  // block row holding logical row 0
  std::unique_ptr<RowState[]> rowStates_;
};

}  // namespace terminal
