// TadTerminalArray: one plane of per-cell items (characters, attributes or
// colours) for every row of a terminal buffer, history included.
//
// The items live in one block, row-major, each row padded to a multiple of 4
// bytes. Rows and columns are the block's own, from 0 (PlaneRow, ColIndex);
// the buffer maps its rows onto them through one origin shared by its four
// planes, so that scrolling the whole buffer moves no rows (Resize reads
// rows turned round that way). Ranges are half-open.
//
// Every row or cell an operation vacates or clears takes the fill item.
// Clearing is lazy: a cleared row only records the fill item, and a row holds
// real items up to a watermark, beyond which its cells read as that fill. A
// write fills the gap in front of it; handing out a pointer (GetItemPtr)
// completes the row. So a row that scrolls in and is written partly costs
// only what is written, and rows nobody reads are never filled.
//
// Operations clip to the plane (ClearRow and WriteItemsInside trust their
// caller); only the constructor throws. Not thread-safe, reads included
// (they may complete a row): one owner thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "terminal/TerminalCoords.h"

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
  void SetColCount(int colCount) { Resize(colCount, rowCount_, PlaneRow(0)); }
  void SetRowCount(int rowCount) { Resize(colCount_, rowCount, PlaneRow(0)); }
  // Both at once, reading the old rows in order from `oldest` round to the
  // row before it; the kept rows land from row 0 on in that order.
  void Resize(int colCount, int rowCount, PlaneRow oldest);
  // Only the low ItemSize() bytes are kept.
  void SetFillItem(std::uint32_t item);

  void ClearAll();
  void ClearRows(PlaneRow first, PlaneRow end);
  // One row of an allocated plane, unchecked: a line feed's cost.
  void ClearRow(PlaneRow row) { rowStates_[row.Value()] = {0, fillItem_}; }
  void ClearItems(PlaneRow row, ColIndex first, ColIndex end) {
    FillItems(row, first, end - first, fillItem_);
  }
  // Sets count cells from (row, col) to item (low ItemSize() bytes), clipped
  // at the row's end.
  void FillItems(PlaneRow row, ColIndex col, int count, std::uint32_t item) {
    if (!ValidCell(row, col) || count <= 0) return;
    const RowState& state = rowStates_[row.Value()];
    // Cells past the watermark already read as the row's fill.
    if (col.Value() >= state.filled && (item & itemMask_) == state.fill) return;
    FillInside(row, col, std::min(count, colCount_ - col.Value()), item & itemMask_);
  }
  // Copies count items from `items` (ItemSize() bytes each) to (col, row),
  // clipped at the row's end.
  void WriteItems(const void* items, int count, ColIndex col, PlaneRow row) {
    if (!ValidCell(row, col) || count <= 0) return;
    WriteItemsInside(items, std::min(count, colCount_ - col.Value()), col, row);
  }
  // WriteItems for a caller that keeps the cells inside the plane (an
  // allocated block, row and col valid, 1 <= count <= ColCount() - col), as
  // the buffer does at its cursor: no clipping, so a line costs less.
  void WriteItemsInside(const void* items, int count, ColIndex col, PlaneRow row) {
    RowState& state = rowStates_[row.Value()];
    std::uint8_t* start = BlockRowStart(row);
    if (state.filled < col.Value()) CompleteRow(state, start, col.Value());
    // Before the copy, which the compiler must assume may overwrite state.
    if (state.filled < col.Value() + count) state.filled = col.Value() + count;
    CopyItems(start + static_cast<std::size_t>(col.Value()) * itemSize_, items,
              static_cast<std::size_t>(count) * itemSize_);
  }
  void ReplaceItems(std::uint32_t oldItem, std::uint32_t newItem);
  // Positive counts move the rows of [first, end) up, negative ones down, by
  // block moves; the vacated rows are cleared. A count covering the range
  // clears it all.
  void ScrollRows(int count, PlaneRow first, PlaneRow end);

  // The item at (row, col); the row's items follow it contiguously up to the
  // row's end. nullptr when the plane has no block or the cell is outside.
  void* GetItemPtr(PlaneRow row, ColIndex col);
  const void* GetItemPtr(PlaneRow row, ColIndex col) const;

 private:
  // Per block row: items [0, filled) are real; the rest read as `fill`.
  struct RowState {
    int filled;
    std::uint32_t fill;
  };

  bool ValidCell(PlaneRow row, ColIndex col) const {
    // Negative numbers wrap to large unsigned ones: one compare per bound.
    return static_cast<unsigned>(row.Value()) < static_cast<unsigned>(rowCount_) &&
           static_cast<unsigned>(col.Value()) < static_cast<unsigned>(colCount_) && block_;
  }
  std::uint8_t* BlockRowStart(PlaneRow row) const {
    return reinterpret_cast<std::uint8_t*>(block_.get()) +
           static_cast<std::size_t>(row.Value()) * rowWidth_ * itemSize_;
  }
// GCC sees the 16-byte copies inlined beside short constant sources that can
// never take that branch, and warns about bounds under some optimisations.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
  static void CopyItems(std::uint8_t* to, const void* from, std::size_t bytes) {
    // Most lines of text are short: two overlapping 16-byte copies cost less
    // than the call.
    const auto* source = static_cast<const std::uint8_t*>(from);
    if (bytes >= 16 && bytes <= 32) {
      std::memcpy(to, source, 16);
      std::memcpy(to + bytes - 16, source + bytes - 16, 16);
    } else {
      std::memcpy(to, source, bytes);
    }
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  // Gives cells [filled, upTo) of a row their fill; logically const.
  void CompleteRow(RowState& state, std::uint8_t* start, int upTo) const;
  void Complete(PlaneRow row, int upTo) const {
    RowState& state = rowStates_[row.Value()];
    if (state.filled < upTo) CompleteRow(state, BlockRowStart(row), upTo);
  }
  void FillInside(PlaneRow row, ColIndex col, int count, std::uint32_t item);
  void FillCells(std::uint8_t* row, int from, int to, std::uint32_t item) const;

  int rowWidth_ = -1;
  int colCount_ = 0;
  std::uint32_t fillItem_ = 0;
  std::unique_ptr<std::uint32_t[]> block_;
  int itemSize_;
  std::uint32_t itemMask_ = 0;
  int rowCount_ = 0;
  std::unique_ptr<RowState[]> rowStates_;
};

}  // namespace terminal
