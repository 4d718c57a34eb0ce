// TaaByteQueue: received bytes on their way from the serial dispatcher's
// thread to the GUI thread.
//
// One thread appends (the dispatcher's, in the view's data handler), another
// drains (the GUI thread, on 0x7E47 or at its next frame); every operation holds the queue's lock
// briefly, and draining hands the queued bytes over by exchanging blocks, so
// the GUI thread reads them without the lock while new bytes arrive.
//
// A block's room starts at 64 bytes, is always a multiple of 64 and doubles
// until a write fits; its bytes lie contiguous from the start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace terminal {

class ByteBlock {
 public:
  static constexpr std::size_t kInitialRoom = 64;

  const std::uint8_t* Data() const { return data_.get(); }
  std::size_t Count() const { return count_; }
  std::size_t Room() const { return room_; }
  void Clear() { count_ = 0; }

  // Makes room for `count` more bytes and returns where they go.
  std::uint8_t* Reserve(std::size_t count);
  // Counts `count` bytes written at the pointer Reserve returned.
  void Commit(std::size_t count) { count_ += count; }

 private:
  std::unique_ptr<std::uint8_t[]> data_ = std::make_unique<std::uint8_t[]>(kInitialRoom);
  std::size_t room_ = kInitialRoom;
  std::size_t count_ = 0;
};

class TaaByteQueue {
 public:
  struct Appended {
    std::size_t count;
    // The first bytes since the last drain: the drainer needs waking; later
    // ones wait for that drain.
    bool first;
  };

  // Lets `fill(dest, count)` write up to `count` bytes at the tail and keeps
  // the number it returns. `fill` runs under the queue's lock, so it must not
  // touch the queue.
  template <typename Fill>
  Appended Append(std::size_t count, Fill&& fill) {
    std::lock_guard guard(lock_);
    const bool wasEmpty = block_.Count() == 0;
    std::uint8_t* dest = block_.Reserve(count);
    std::size_t added = fill(dest, count);
    if (added > count) added = count;
    block_.Commit(added);
    return {added, wasEmpty && added > 0};
  }
  std::size_t Append(const std::uint8_t* bytes, std::size_t count);

  // Moves every queued byte into `into` (whose old contents are dropped) and
  // leaves the queue empty.
  void Drain(ByteBlock& into);

  std::size_t Count() const;
  std::size_t Room() const;

 private:
  mutable std::mutex lock_;
  ByteBlock block_;
};

}  // namespace terminal
