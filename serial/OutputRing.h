// The output ring: bytes queued for the device, with the output lock that
// guards it, and the writer role that lets one thread at a time write from it.
//
// Every member takes the output lock for its own duration and no other lock;
// the device is written outside it, by the thread that holds the writer role.
//   - Queue, Used, Free, Size: any thread;
//   - TakeStretch: the output thread; Queue hands the role to a queueing
//     thread instead when asked to and the ring was empty and idle;
//   - EndTurn: the thread that holds the role, once its write returned;
//   - Clear: any thread (a purge); a turn in progress then moves nothing;
//   - Reset, Release: the thread that opens or finishes a close, with no
//     writer running.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace serial {

class TOutputRing {
 public:
  // The writer role, and the ring's contents it was taken for.
  struct Turn {
    bool taken = false;
    std::uint64_t generation = 0;
  };

  // Allocated, empty, size bytes long.
  void Reset(std::uint32_t size);
  // Freed; the size stays, so that counts read zero used.
  void Release();
  // Emptied.
  void Clear();

  // 0, -2007 when freed, or -3006 when the ring lacks room (nothing is
  // queued). With writeAtOnce, a ring that was empty with no writer gives the
  // caller the writer role for this block (turn.taken).
  std::int32_t Queue(const std::uint8_t* block, std::uint32_t length, bool writeAtOnce, Turn& turn);
  // The writer role and all queued bytes as one stretch; false when the ring
  // is empty or another thread writes.
  bool TakeStretch(const std::uint8_t*& stretch, std::uint32_t& length, Turn& turn);
  // Gives the role back; done bytes have left (unless the ring was emptied
  // meanwhile). The bytes still queued.
  std::uint32_t EndTurn(const Turn& turn, std::uint32_t done);
  bool WriterBusy() const;

  std::uint32_t Used() const;
  std::uint32_t Free() const;
  std::uint32_t Size() const;

 private:
  std::uint32_t UsedLocked() const;
  void CopyIn(std::uint32_t index, const std::uint8_t* bytes, std::uint32_t count);

  mutable std::mutex lock_;         // the output lock
  std::vector<std::uint8_t> ring_;  // twice the ring size: see CopyIn
  std::uint32_t size_ = 0;
  std::uint32_t write_ = 0;
  std::uint32_t read_ = 0;
  bool full_ = false;
  std::uint64_t generation_ = 0;  // changes when the ring is emptied or freed
  bool writerBusy_ = false;
};

}  // namespace serial
