// A Windows-style event: signalled or not, auto-reset (a successful wait
// consumes the signal) or manual-reset. Any thread may set, reset and wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace serial {

class SyncEvent {
 public:
  enum class Reset { Auto, Manual };

  explicit SyncEvent(Reset reset) : autoReset_(reset == Reset::Auto) {}
  SyncEvent(const SyncEvent&) = delete;
  SyncEvent& operator=(const SyncEvent&) = delete;

  // The waiter is woken after the lock is let go, so it does not wake only to
  // block on the lock.
  void Set() {
    {
      std::lock_guard guard(lock_);
      signalled_ = true;
    }
    if (autoReset_)
      changed_.notify_one();
    else
      changed_.notify_all();
  }

  void ResetEvent() {
    std::lock_guard guard(lock_);
    signalled_ = false;
  }

  // True when the event was signalled within the timeout.
  bool Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(lock_);
    if (!changed_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
    if (autoReset_) signalled_ = false;
    return true;
  }

  void Wait() {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [this] { return signalled_; });
    if (autoReset_) signalled_ = false;
  }

 private:
  const bool autoReset_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace serial
