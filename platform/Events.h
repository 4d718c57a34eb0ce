// Auto-reset events, as Windows has them: Set signals the event, and the one
// wait that takes the signal clears it. Any thread may set, reset and wait.
// Setting an event nobody waits on costs no system call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace platform {

class AutoResetEvent {
 public:
  AutoResetEvent();
  ~AutoResetEvent();
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Set();
  void ResetEvent();
  // True when the event was signalled within the timeout.
  bool Wait(std::chrono::milliseconds timeout);
  void Wait();

 private:
#ifdef _WIN32
  void* handle_;
#else
  std::atomic<std::uint32_t> signalled_{0};
  std::atomic<std::uint32_t> waiters_{0};
#endif
};

}  // namespace platform
