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
void replaceCells(std::uint8_t* start, int count, std::uint32_t oldItem, std::uint32_t newItem) {
  Item* cells = reinterpret_cast<Item*>(start);
  std::replace(cells, cells + count, static_cast<Item>(oldItem), static_cast<Item>(newItem));
}

}  // namespace

TadTerminalArray::TadTerminalArray(int itemSize) : itemSize_(itemSize) {
  if (itemSize != 1 && itemSize != 2 && itemSize != 4)
    throw TerminalError("TadTerminalArray.Create: invalid item size");
  itemMask_ = itemSize == 4 ? 0xFFFFFFFFu : (1u << (8 * itemSize)) - 1;
}

void TadTerminalArray::SetFillItem(std::uint32_t item) {
  fillItem_ = item & itemMask_;
}

void TadTerminalArray::fillCells(std::uint8_t* row, int from, int to, std::uint32_t item) const {
  if (from >= to) return;
  std::uint8_t* start = row + static_cast<std::size_t>(from) * itemSize_;
  std::size_t count = std::size_t(to - from);
  switch (itemSize_) {
    case 1:
      std::memset(start, static_cast<int>(item & 0xFF), count);
      break;
    case 2:
      std::fill_n(reinterpret_cast<std::uint16_t*>(start), count, std::uint16_t(item));
      break;
    default:
      std::fill_n(reinterpret_cast<std::uint32_t*>(start), count, item);
      break;
  }
}

void TadTerminalArray::completeRow(int index, int upTo) const {
  RowState& state = rowStates_[index];
  fillCells(blockRowStart(index), state.filled, upTo, state.fill);
  state.filled = upTo;
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
  std::unique_ptr<RowState[]> newStates(new RowState[rowCount]);
  for (int row = 0; row < rowCount; ++row) newStates[row] = {0, fillItem_};
  if (wasAllocated) {
    // Bottom-aligned: the newest rows survive a shrink.
    int keepRows = std::min(oldRows, rowCount);
    int keepCols = std::min(oldCols, colCount);
    auto* newStart = reinterpret_cast<std::uint8_t*>(newBlock.get());
    for (int i = 0; i < keepRows; ++i) {
      int from = blockRow(oldRows - keepRows + i);
      int to = rowCount - keepRows + i;
      complete(from, keepCols);
      std::memcpy(newStart + to * rowBytes, blockRowStart(from),
                  static_cast<std::size_t>(keepCols) * itemSize_);
      newStates[to].filled = keepCols;
    }
  }
  block_ = std::move(newBlock);
  rowStates_ = std::move(newStates);
  colCount_ = colCount;
  rowCount_ = rowCount;
  rowWidth_ = newWidth;
  rowOrigin_ = 0;
}

void TadTerminalArray::ClearAll() {
  if (!block_) return;
  for (int index = 0; index < rowCount_; ++index) clearBlockRow(index);
}

void TadTerminalArray::ClearRows(int firstRow, int lastRow) {
  if (!block_) return;
  firstRow = std::max(firstRow, 0);
  lastRow = std::min(lastRow, rowCount_ - 1);
  for (int row = firstRow; row <= lastRow; ++row) clearBlockRow(blockRow(row));
}

void TadTerminalArray::ClearItems(int row, int firstCol, int lastCol) {
  FillItems(row, firstCol, lastCol - firstCol + 1, fillItem_);
}

void TadTerminalArray::fillItems(int row, int col, int count, std::uint32_t item) {
  count = std::min(count, colCount_ - col);
  int index = blockRow(row);
  complete(index, col);
  fillCells(blockRowStart(index), col, col + count, item & itemMask_);
  RowState& state = rowStates_[index];
  state.filled = std::max(state.filled, col + count);
}

void TadTerminalArray::ReplaceItems(std::uint32_t oldItem, std::uint32_t newItem) {
  if (!block_) return;
  oldItem &= itemMask_;
  newItem &= itemMask_;
  for (int index = 0; index < rowCount_; ++index) {
    RowState& state = rowStates_[index];
    if (state.fill == oldItem) state.fill = newItem;
    std::uint8_t* start = blockRowStart(index);
    switch (itemSize_) {
      case 1:
        replaceCells<std::uint8_t>(start, state.filled, oldItem, newItem);
        break;
      case 2:
        replaceCells<std::uint16_t>(start, state.filled, oldItem, newItem);
        break;
      default:
        replaceCells<std::uint32_t>(start, state.filled, oldItem, newItem);
        break;
    }
  }
}

void TadTerminalArray::scrollRows(int count, int firstRow, int lastRow) {
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
    auto move = [&](int to, int from) {
      int toIndex = blockRow(to);
      int fromIndex = blockRow(from);
      std::memcpy(blockRowStart(toIndex), blockRowStart(fromIndex), rowBytes);
      rowStates_[toIndex] = rowStates_[fromIndex];
    };
    if (count > 0) {
      for (int row = firstRow; row <= lastRow - distance; ++row) move(row, row + distance);
    } else {
      for (int row = lastRow; row >= firstRow + distance; --row) move(row, row - distance);
    }
  }
  if (count > 0)
    ClearRows(lastRow - distance + 1, lastRow);
  else
    ClearRows(firstRow, firstRow + distance - 1);
}

void* TadTerminalArray::GetItemPtr(int row, int col) {
  if (!block_ || row < 0 || row >= rowCount_ || col < 0 || col >= colCount_) return nullptr;
  int index = blockRow(row);
  complete(index, colCount_);
  return blockRowStart(index) + static_cast<std::size_t>(col) * itemSize_;
}

const void* TadTerminalArray::GetItemPtr(int row, int col) const {
  return const_cast<TadTerminalArray*>(this)->GetItemPtr(row, col);
}

}  // namespace terminal
