#include "serial/InputBuffer.h"

#include <algorithm>
#include <cstring>

#include "serial/ErrorCodes.h"

namespace serial {

void TInputBuffer::Reset() {
  std::lock_guard guard(lock_);
  buffer_.assign(kSize, 0);
  write_ = read_ = 0;
  full_ = moreInput_ = false;
  receivedTotal_ = notifiedTotal_ = 0;
  takeCount_ = largestTake_ = 0;
  deliveringData_ = false;
}

void TInputBuffer::Release() {
  std::lock_guard guard(lock_);
  buffer_ = {};
  write_ = read_ = 0;
  full_ = moreInput_ = false;
  takeCount_ = largestTake_ = 0;
}

// A read that finds nothing costs no more than asking for the count, so the
// count is asked for only when the buffer is full, to know whether more
// input waits.
std::uint32_t TInputBuffer::Fill(platform::CommDevice& device, std::uint32_t& errors) {
  auto holdsInput = [&] {
    platform::CommStatus status;
    if (device.ClearCommError(status) != platform::kErrorSuccess) return false;
    errors |= status.errors;
    return status.inQueue > 0;
  };
  std::lock_guard guard(lock_);
  if (buffer_.empty()) return 0;
  if (full_) {
    if (!moreInput_) moreInput_ = holdsInput();
    return 0;
  }
  const std::uint32_t total = ReadLocked(device);
  moreInput_ = full_ && holdsInput();
  return total;
}

std::uint32_t TInputBuffer::ReadLocked(platform::CommDevice& device) {
  // An empty buffer starts over at its beginning, so that one read can fill
  // it whole; a read into the stretch left before its end would be followed
  // by a second read that mostly finds nothing.
  if (write_ == read_ && !full_ && !deliveringData_) write_ = read_ = 0;
  const std::uint32_t freeRoom = write_ == read_ ? kSize : (read_ + kSize - write_) % kSize;
  const std::uint32_t stretch = write_ >= read_ ? kSize - write_ : read_ - write_;
  std::uint32_t total = 0;
  if (device.ReadFile(buffer_.data() + write_, stretch, total) != platform::kErrorSuccess)
    total = 0;
  if (total == stretch && freeRoom > stretch) {
    std::uint32_t second = 0;
    if (device.ReadFile(buffer_.data(), freeRoom - stretch, second) == platform::kErrorSuccess)
      total += second;
  }
  write_ = (write_ + total) % kSize;
  if (total > 0) {
    full_ = write_ == read_;
    receivedTotal_ += total;
  }
  return total;
}

bool TInputBuffer::HasUnreadRoom() const {
  std::lock_guard guard(lock_);
  return moreInput_ && !full_;
}

TInputBuffer::WaitState TInputBuffer::StateForWait() const {
  std::lock_guard guard(lock_);
  return {moreInput_, !full_ && !buffer_.empty()};
}

std::uint32_t TInputBuffer::Announce(std::uint32_t threshold) {
  std::lock_guard guard(lock_);
  if (threshold == 0 || receivedTotal_ == notifiedTotal_) return 0;
  const std::uint32_t available = AvailableLocked();
  if (available < threshold) return 0;
  notifiedTotal_ = receivedTotal_;
  return available;
}

std::uint32_t TInputBuffer::HeldLocked() const {
  return full_ ? kSize : (write_ + kSize - read_) % kSize;
}

std::uint32_t TInputBuffer::AvailableLocked() const {
  if (buffer_.empty()) return 0;
  const std::uint32_t held = HeldLocked();
  return deliveringData_ ? held - std::min(held, takeCount_) : held;
}

std::uint32_t TInputBuffer::Available() const {
  std::lock_guard guard(lock_);
  return AvailableLocked();
}

std::int32_t TInputBuffer::Take(std::uint8_t* block, std::uint32_t length) {
  std::lock_guard guard(lock_);
  if (length > AvailableLocked()) return ecBufferIsEmpty;
  if (length == 0) return 0;
  const std::uint32_t start = deliveringData_ ? (read_ + takeCount_) % kSize : read_;
  const std::uint32_t first = std::min(length, kSize - start);
  std::memcpy(block, buffer_.data() + start, first);
  std::memcpy(block + first, buffer_.data(), length - first);
  if (deliveringData_) {
    takeCount_ += length;
  } else {
    read_ = (read_ + length) % kSize;
    full_ = false;
  }
  return 0;
}

void TInputBuffer::Purge() {
  std::lock_guard guard(lock_);
  if (deliveringData_) {
    largestTake_ = HeldLocked();
  } else {
    read_ = write_;
    takeCount_ = 0;
    full_ = false;
  }
}

void TInputBuffer::BeginDelivery(bool data) {
  std::lock_guard guard(lock_);
  largestTake_ = 0;
  takeCount_ = 0;
  if (data) deliveringData_ = true;
}

void TInputBuffer::NoteTake() {
  std::lock_guard guard(lock_);
  largestTake_ = std::max(largestTake_, takeCount_);
  takeCount_ = 0;
}

bool TInputBuffer::EndDelivery(bool data, std::uint32_t offered) {
  std::lock_guard guard(lock_);
  takeCount_ = 0;
  if (!data) return true;
  deliveringData_ = false;
  if (!buffer_.empty()) read_ = (read_ + largestTake_) % kSize;
  if (largestTake_ != 0) full_ = false;
  return largestTake_ == offered;
}

}  // namespace serial
