#include "terminal/ByteQueue.h"

#include <cstring>
#include <utility>

namespace terminal {

std::uint8_t* ByteBlock::Reserve(std::size_t count) {
  if (count > room_ - count_) {
    std::size_t room = room_;
    while (count > room - count_) room *= 2;
    auto data = std::make_unique<std::uint8_t[]>(room);
    std::memcpy(data.get(), data_.get(), count_);
    data_ = std::move(data);
    room_ = room;
  }
  return data_.get() + count_;
}

std::size_t TaaByteQueue::Append(const std::uint8_t* bytes, std::size_t count) {
  auto copy = [bytes](std::uint8_t* dest, std::size_t n) {
    std::memcpy(dest, bytes, n);
    return n;
  };
  return Append(count, copy).count;
}

void TaaByteQueue::Drain(ByteBlock& into) {
  into.Clear();
  std::lock_guard guard(lock_);
  std::swap(block_, into);
}

std::size_t TaaByteQueue::Count() const {
  std::lock_guard guard(lock_);
  return block_.Count();
}

std::size_t TaaByteQueue::Room() const {
  std::lock_guard guard(lock_);
  return block_.Room();
}

}  // namespace terminal
