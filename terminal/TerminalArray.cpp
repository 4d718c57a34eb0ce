#include "terminal/TerminalArray.h"

#include <algorithm>
#include <cstring>

#include "terminal/TerminalError.h"

namespace terminal {
namespace {

int PaddedWidth(int colCount, int itemSize) {
  int itemsPerWord = 4 / itemSize;
  return (colCount + itemsPerWord - 1) / itemsPerWord * itemsPerWord;
}

template <typename Item>
void ReplaceCells(std::uint8_t* start, int count, std::uint32_t oldItem, std::uint32_t newItem) {
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

void TadTerminalArray::FillCells(std::uint8_t* row, int from, int to, std::uint32_t item) const {
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

void TadTerminalArray::CompleteRow(RowState& state, std::uint8_t* start, int upTo) const {
  FillCells(start, state.filled, upTo, state.fill);
  state.filled = upTo;
}

void TadTerminalArray::Resize(int colCount, int rowCount, PlaneRow oldest) {
  if (colCount < 0 || rowCount < 0) return;
  int oldCols = colCount_;
  int oldRows = rowCount_;
  bool wasAllocated = block_ != nullptr;
  if (wasAllocated) {
    // An allocated plane never drops to zero rows or columns.
    if (colCount == 0 || rowCount == 0) return;
    if (colCount == oldCols && rowCount == oldRows && oldest == PlaneRow(0)) return;
  } else {
    colCount_ = colCount;
    rowCount_ = rowCount;
    if (colCount == 0 || rowCount == 0) return;
  }

  int newWidth = PaddedWidth(colCount, itemSize_);
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
      PlaneRow from((oldest.Value() + oldRows - keepRows + i) % oldRows);
      int to = rowCount - keepRows + i;
      Complete(from, keepCols);
      std::memcpy(newStart + to * rowBytes, BlockRowStart(from),
                  static_cast<std::size_t>(keepCols) * itemSize_);
      newStates[to].filled = keepCols;
    }
  }
  block_ = std::move(newBlock);
  rowStates_ = std::move(newStates);
  colCount_ = colCount;
  rowCount_ = rowCount;
  rowWidth_ = newWidth;
}

void TadTerminalArray::ClearAll() {
  ClearRows(PlaneRow(0), PlaneRow(rowCount_));
}

void TadTerminalArray::ClearRows(PlaneRow first, PlaneRow end) {
  if (!block_) return;
  first = std::max(first, PlaneRow(0));
  end = std::min(end, PlaneRow(rowCount_));
  for (PlaneRow row = first; row < end; ++row) ClearRow(row);
}

void TadTerminalArray::FillInside(PlaneRow row, ColIndex col, int count, std::uint32_t item) {
  Complete(row, col.Value());
  FillCells(BlockRowStart(row), col.Value(), col.Value() + count, item);
  RowState& state = rowStates_[row.Value()];
  state.filled = std::max(state.filled, col.Value() + count);
}

void TadTerminalArray::ReplaceItems(std::uint32_t oldItem, std::uint32_t newItem) {
  if (!block_) return;
  oldItem &= itemMask_;
  newItem &= itemMask_;
  for (PlaneRow row(0); row < PlaneRow(rowCount_); ++row) {
    RowState& state = rowStates_[row.Value()];
    if (state.fill == oldItem) state.fill = newItem;
    std::uint8_t* start = BlockRowStart(row);
    switch (itemSize_) {
      case 1:
        ReplaceCells<std::uint8_t>(start, state.filled, oldItem, newItem);
        break;
      case 2:
        ReplaceCells<std::uint16_t>(start, state.filled, oldItem, newItem);
        break;
      default:
        ReplaceCells<std::uint32_t>(start, state.filled, oldItem, newItem);
        break;
    }
  }
}

void TadTerminalArray::ScrollRows(int count, PlaneRow first, PlaneRow end) {
  if (!block_ || count == 0) return;
  first = std::max(first, PlaneRow(0));
  end = std::min(end, PlaneRow(rowCount_));
  int rangeRows = end - first;
  if (rangeRows <= 0) return;
  int distance = count > 0 ? count : -count;
  if (distance >= rangeRows) {
    ClearRows(first, end);
    return;
  }
  std::size_t rowBytes = static_cast<std::size_t>(rowWidth_) * itemSize_;
  auto move = [&](PlaneRow to, PlaneRow from) {
    std::memcpy(BlockRowStart(to), BlockRowStart(from), rowBytes);
    rowStates_[to.Value()] = rowStates_[from.Value()];
  };
  if (count > 0) {
    for (PlaneRow row = first; row < end - distance; ++row) move(row, row + distance);
    ClearRows(end - distance, end);
  } else {
    for (PlaneRow row = end - 1; row >= first + distance; --row) move(row, row - distance);
    ClearRows(first, first + distance);
  }
}

void* TadTerminalArray::GetItemPtr(PlaneRow row, ColIndex col) {
  if (!ValidCell(row, col)) return nullptr;
  Complete(row, colCount_);
  return BlockRowStart(row) + static_cast<std::size_t>(col.Value()) * itemSize_;
}

const void* TadTerminalArray::GetItemPtr(PlaneRow row, ColIndex col) const {
  return const_cast<TadTerminalArray*>(this)->GetItemPtr(row, col);
}

}  // namespace terminal
