#include "serial/OutputRing.h"

#include <algorithm>
#include <cstring>

#include "serial/ErrorCodes.h"

namespace serial {

void TOutputRing::Reset(std::uint32_t size) {
  std::lock_guard guard(lock_);
  ring_.assign(2 * std::size_t{size}, 0);
  write_ = read_ = 0;
  full_ = false;
  size_ = size;
  ++generation_;
}

void TOutputRing::Release() {
  std::lock_guard guard(lock_);
  ring_ = {};
  write_ = read_ = 0;
  full_ = false;
  ++generation_;
}

void TOutputRing::Clear() {
  std::lock_guard guard(lock_);
  read_ = write_ = 0;
  full_ = false;
  ++generation_;
}

// The block goes into the ring in every case, so that whatever is queued
// meanwhile stays behind it.
std::int32_t TOutputRing::Queue(const std::uint8_t* block, std::uint32_t length, bool writeAtOnce,
                                Turn& turn) {
  std::lock_guard guard(lock_);
  if (ring_.empty()) return ecCommNotOpen;
  const std::uint32_t used = UsedLocked();
  if (size_ - used < length) return ecOutputBufferTooSmall;
  const std::uint32_t first = std::min(length, size_ - write_);
  CopyIn(write_, block, first);
  CopyIn(0, block + first, length - first);
  write_ = (write_ + length) % size_;
  if (write_ == read_) full_ = true;
  turn.taken = writeAtOnce && used == 0 && !writerBusy_;
  turn.generation = generation_;
  writerBusy_ = writerBusy_ || turn.taken;
  return 0;
}

bool TOutputRing::TakeStretch(const std::uint8_t*& stretch, std::uint32_t& length, Turn& turn) {
  std::lock_guard guard(lock_);
  const std::uint32_t used = UsedLocked();
  if (used == 0 || ring_.empty() || writerBusy_) return false;
  // The mirror makes all queued bytes one stretch, wrapped or not.
  stretch = ring_.data() + read_;
  length = used;
  turn = {true, generation_};
  writerBusy_ = true;
  return true;
}

std::uint32_t TOutputRing::EndTurn(const Turn& turn, std::uint32_t done) {
  std::lock_guard guard(lock_);
  writerBusy_ = false;
  if (turn.generation == generation_ && done > 0) {
    read_ = (read_ + done) % size_;
    full_ = false;
    if (read_ == write_) read_ = write_ = 0;
  }
  return UsedLocked();
}

bool TOutputRing::WriterBusy() const {
  std::lock_guard guard(lock_);
  return writerBusy_;
}

std::uint32_t TOutputRing::UsedLocked() const {
  if (full_) return size_;
  return (write_ + size_ - read_) % std::max<std::uint32_t>(size_, 1);
}

std::uint32_t TOutputRing::Used() const {
  std::lock_guard guard(lock_);
  return UsedLocked();
}

std::uint32_t TOutputRing::Free() const {
  std::lock_guard guard(lock_);
  return size_ - UsedLocked();
}

std::uint32_t TOutputRing::Size() const {
  std::lock_guard guard(lock_);
  return size_;
}

// Each byte of the ring is kept twice, at its index and its index plus the
// ring size, so that the queued bytes lie together from the read index even
// when they wrap: the device takes them all in one write without the ring
// being rotated (moving every byte) first.
void TOutputRing::CopyIn(std::uint32_t index, const std::uint8_t* bytes, std::uint32_t count) {
  std::memcpy(ring_.data() + index, bytes, count);
  std::memcpy(ring_.data() + size_ + index, bytes, count);
}

}  // namespace serial
