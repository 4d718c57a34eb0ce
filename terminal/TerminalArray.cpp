#include "terminal/TerminalArray.h"

#include <algorithm>
#include <cstring>

#include "terminal/TerminalError.h"

namespace terminal {
namespace {

int paddedWidth(int colCount, int itemSize) {
  int itemsPerWord = 4 / itemSize;
  return (colCount + itemsPerWord - 1) / itemsPerWord * itemsPerWord;
}

template <typename Item>
void fillCells(std::uint8_t* start, int count, std::uint32_t item) {
  std::fill_n(reinterpret_cast<Item*>(start), count, static_cast<Item>(item));
}

template <typename Item>
void replaceCells(std::uint8_t* start, int count, std::uint32_t oldItem, std::uint32_t newItem) {
  Item* cells = reinterpret_cast<Item*>(start);
  std::replace(cells, cells + count, static_cast<Item>(oldItem), static_cast<Item>(newItem));
}

}  // namespace

TadTerminalArray::TadTerminalArray(int itemSize) : itemSize_(itemSize) {
  if (itemSize != 1 && itemSize != 2 && itemSize != 4)
    throw TerminalError("TadTerminalArray.Create: invalid item size");
}

std::uint32_t TadTerminalArray::itemMask() const {
  return itemSize_ == 4 ? 0xFFFFFFFFu : (1u << (8 * itemSize_)) - 1;
}

std::uint32_t TadTerminalArray::wordPattern(std::uint32_t item) const {
  item &= itemMask();
  if (itemSize_ == 1) return item * 0x01010101u;
  if (itemSize_ == 2) return item | item << 16;
  return item;
}

void TadTerminalArray::SetFillItem(std::uint32_t item) {
  fillItem_ = item & itemMask();
}

std::uint8_t* TadTerminalArray::rowStart(int row) const {
  int blockRow = rowOrigin_ + row;
  if (blockRow >= rowCount_) blockRow -= rowCount_;
  return reinterpret_cast<std::uint8_t*>(block_.get()) +
         static_cast<std::size_t>(blockRow) * rowWidth_ * itemSize_;
}

void TadTerminalArray::fillRow(std::uint8_t* row, std::uint32_t pattern) const {
  std::fill_n(reinterpret_cast<std::uint32_t*>(row), rowWidth_ * itemSize_ / 4, pattern);
}

void TadTerminalArray::SetColCount(int colCount) {
  resize(colCount, rowCount_);
}

void TadTerminalArray::SetRowCount(int rowCount) {
  resize(colCount_, rowCount);
}

void TadTerminalArray::resize(int colCount, int rowCount) {
  if (colCount < 0 || rowCount < 0) return;
  int oldCols = colCount_;
  int oldRows = rowCount_;
  bool wasAllocated = block_ != nullptr;
  if (wasAllocated) {
    // An allocated plane never drops to zero rows or columns.
    if ((colCount == oldCols && rowCount == oldRows) || colCount == 0 || rowCount == 0) return;
  } else {
    colCount_ = colCount;
    rowCount_ = rowCount;
    if (colCount == 0 || rowCount == 0) return;
  }

  int newWidth = paddedWidth(colCount, itemSize_);
  std::size_t rowBytes = static_cast<std::size_t>(newWidth) * itemSize_;
  std::unique_ptr<std::uint32_t[]> newBlock(new std::uint32_t[rowBytes / 4 * rowCount]);
  std::fill_n(newBlock.get(), rowBytes / 4 * rowCount, wordPattern(fillItem_));
  if (wasAllocated) {
    // Bottom-aligned: the newest rows survive a shrink.
    int keepRows = std::min(oldRows, rowCount);
    std::size_t keepBytes = static_cast<std::size_t>(std::min(oldCols, colCount)) * itemSize_;
    auto* newStart = reinterpret_cast<std::uint8_t*>(newBlock.get());
    for (int i = 0; i < keepRows; ++i)
      std::memcpy(newStart + (rowCount - keepRows + i) * rowBytes, rowStart(oldRows - keepRows + i),
                  keepBytes);
  }
  block_ = std::move(newBlock);
  colCount_ = colCount;
  rowCount_ = rowCount;
  rowWidth_ = newWidth;
  rowOrigin_ = 0;
}

void TadTerminalArray::ClearAll() {
  if (!block_) return;
  ClearRows(0, rowCount_ - 1);
}

void TadTerminalArray::ClearRows(int firstRow, int lastRow) {
  if (!block_) return;
  firstRow = std::max(firstRow, 0);
  lastRow = std::min(lastRow, rowCount_ - 1);
  std::uint32_t pattern = wordPattern(fillItem_);
  for (int row = firstRow; row <= lastRow; ++row) fillRow(rowStart(row), pattern);
}

void TadTerminalArray::ClearItems(int row, int firstCol, int lastCol) {
  FillItems(row, firstCol, lastCol - firstCol + 1, fillItem_);
}

void TadTerminalArray::FillItems(int row, int col, int count, std::uint32_t item) {
  if (!block_ || row < 0 || row >= rowCount_ || col < 0 || col >= colCount_ || count <= 0) return;
  count = std::min(count, colCount_ - col);
  std::uint8_t* start = rowStart(row) + static_cast<std::size_t>(col) * itemSize_;
  switch (itemSize_) {
    case 1:
      std::memset(start, static_cast<int>(item & 0xFF), count);
      break;
    case 2:
      fillCells<std::uint16_t>(start, count, item);
      break;
    default:
      fillCells<std::uint32_t>(start, count, item);
      break;
  }
}

void TadTerminalArray::WriteItems(const void* items, int count, int col, int row) {
  if (!block_ || row < 0 || row >= rowCount_ || col < 0 || col >= colCount_ || count <= 0) return;
  count = std::min(count, colCount_ - col);
  std::memcpy(rowStart(row) + static_cast<std::size_t>(col) * itemSize_, items,
              static_cast<std::size_t>(count) * itemSize_);
}

void TadTerminalArray::ReplaceItems(std::uint32_t oldItem, std::uint32_t newItem) {
  if (!block_) return;
  oldItem &= itemMask();
  newItem &= itemMask();
  for (int row = 0; row < rowCount_; ++row) {
    std::uint8_t* start = rowStart(row);
    switch (itemSize_) {
      case 1:
        replaceCells<std::uint8_t>(start, colCount_, oldItem, newItem);
        break;
      case 2:
        replaceCells<std::uint16_t>(start, colCount_, oldItem, newItem);
        break;
      default:
        replaceCells<std::uint32_t>(start, colCount_, oldItem, newItem);
        break;
    }
  }
}

void TadTerminalArray::ScrollRows(int count, int firstRow, int lastRow) {
  if (!block_ || count == 0) return;
  firstRow = std::max(firstRow, 0);
  lastRow = std::min(lastRow, rowCount_ - 1);
  int rangeRows = lastRow - firstRow + 1;
  if (rangeRows <= 0) return;
  int distance = count > 0 ? count : -count;
  if (distance >= rangeRows) {
    ClearRows(firstRow, lastRow);
    return;
  }
  if (rangeRows == rowCount_) {
    // The whole plane: turn the origin instead of moving rows.
    rowOrigin_ = (rowOrigin_ + count + rowCount_) % rowCount_;
  } else {
    std::size_t rowBytes = static_cast<std::size_t>(rowWidth_) * itemSize_;
    if (count > 0) {
      for (int row = firstRow; row <= lastRow - distance; ++row)
        std::memcpy(rowStart(row), rowStart(row + distance), rowBytes);
    } else {
      for (int row = lastRow; row >= firstRow + distance; --row)
        std::memcpy(rowStart(row), rowStart(row - distance), rowBytes);
    }
  }
  if (count > 0)
    ClearRows(lastRow - distance + 1, lastRow);
  else
    ClearRows(firstRow, firstRow + distance - 1);
}

void* TadTerminalArray::GetItemPtr(int row, int col) {
  if (!block_ || row < 0 || row >= rowCount_ || col < 0 || col >= colCount_) return nullptr;
  return rowStart(row) + static_cast<std::size_t>(col) * itemSize_;
}

const void* TadTerminalArray::GetItemPtr(int row, int col) const {
  return const_cast<TadTerminalArray*>(this)->GetItemPtr(row, col);
}

}  // namespace terminal
