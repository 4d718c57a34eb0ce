// The dispatch buffer: the 8192 bytes received from the device and not yet
// given up by the handlers, with the input lock that guards it.
//
// Every member takes the input lock for its own duration and no other lock;
// Fill calls the device under it (its reads and counts never block).
//   - Fill, HasUnreadRoom, StateForWait, Announce: the dispatch
//     thread;
//   - BeginDelivery, NoteTake, EndDelivery: the dispatch thread, around one
//     delivery to the handlers;
//   - Available, Take, Purge: any thread; during a data-available delivery a
//     handler reads from where the running handler has got to, and the bytes
//     leave the buffer when the delivery ends;
//   - Reset, Release: the thread that opens or finishes a close, while the
//     dispatch thread does not run.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/comm/CommDevice.h"

namespace serial {

class TInputBuffer {
 public:
  static constexpr std::uint32_t kSize = 8192;

  // Allocated and empty.
  void Reset();
  // Freed: nothing is available and Fill reads nothing.
  void Release();

  // Reads what the device holds, in at most two reads, into the free room.
  // A full buffer only asks the device whether more waits. The device's
  // pending line errors are added to errors.
  std::uint32_t Fill(platform::CommDevice& device, std::uint32_t& errors);
  // More input waits in the device and there is room for it now.
  bool HasUnreadRoom() const;
  struct WaitState {
    bool moreWaiting = false;  // more input waits in the device (room or not)
    bool watchable = false;    // allocated and not full: the device is worth watching
  };
  WaitState StateForWait() const;
  // The bytes available when data arrived since the last announcement and
  // they reach threshold (then this arrival counts as announced); else 0.
  std::uint32_t Announce(std::uint32_t threshold);

  std::uint32_t Available() const;
  // The whole block (0), or -3007 and nothing taken.
  std::int32_t Take(std::uint8_t* block, std::uint32_t length);
  // Empties the buffer; during a data-available delivery it is given up
  // when the delivery ends.
  void Purge();

  // A delivery begins; a data-available one (data) keeps takes in place.
  void BeginDelivery(bool data);
  // The running handler is done: its take counts towards the largest.
  void NoteTake();
  // The delivery is done: a data-available one gives up as many bytes as the
  // handler that took the most. True unless that is fewer than offered.
  bool EndDelivery(bool data, std::uint32_t offered);

 private:
  std::uint32_t HeldLocked() const;
  std::uint32_t AvailableLocked() const;
  std::uint32_t ReadLocked(platform::CommDevice& device);

  mutable std::mutex lock_;  // the input lock
  std::vector<std::uint8_t> buffer_;
  std::uint32_t write_ = 0;
  std::uint32_t read_ = 0;
  bool full_ = false;
  bool moreInput_ = false;
  std::uint64_t receivedTotal_ = 0;  // bytes ever read; scan position
  std::uint64_t notifiedTotal_ = 0;  // scan position of the last announcement
  std::uint32_t takeCount_ = 0;
  std::uint32_t largestTake_ = 0;
  bool deliveringData_ = false;
};

}  // namespace serial
