// An auto-reset event, as Windows has them: Set signals it, and the wait that
// takes the signal clears it. Any thread may set, reset and wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace serial {

class SyncEvent {
 public:
  SyncEvent() = default;
  SyncEvent(const SyncEvent&) = delete;
  SyncEvent& operator=(const SyncEvent&) = delete;

  // The waiter is woken after the lock is let go, so it does not wake only to
  // block on the lock.
  void Set() {
    {
      std::lock_guard guard(lock_);
      signalled_ = true;
    }
    changed_.notify_one();
  }

  void ResetEvent() {
    std::lock_guard guard(lock_);
    signalled_ = false;
  }

  // True when the event was signalled within the timeout.
  bool Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(lock_);
    if (!changed_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
    signalled_ = false;
    return true;
  }

  void Wait() {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace serial
