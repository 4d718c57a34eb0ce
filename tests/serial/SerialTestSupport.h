// Helpers shared by the serial engine tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Messages.h"
#include "serial/Dispatcher.h"
#include "tests/serial/ProcessCpu.h"

namespace serial::testing_support {

// Generous: the CI machine is small and runs sanitizer builds.
constexpr auto kTimeout = std::chrono::seconds(10);

struct Message {
  platform::UINT msg;
  platform::WPARAM wParam;
  platform::LPARAM lParam;
};

// Collects trigger messages from any thread.
class Recorder {
 public:
  void Add(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
    std::lock_guard guard(lock_);
    messages_.push_back({msg, wParam, lParam});
    changed_.notify_all();
  }
  bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout = kTimeout) {
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
  }
  std::vector<Message> Messages() {
    std::lock_guard guard(lock_);
    return messages_;
  }
  std::size_t Count() {
    std::lock_guard guard(lock_);
    return messages_.size();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Message> messages_;
};

// Delivers the calling thread's messages until done() or the timeout.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = kTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::ProcessMessages();
    if (done()) return true;
    platform::WaitMessage(std::chrono::milliseconds(10));
  }
  return true;
}

// Runs an action that raises a device event and waits until the dispatcher
// has handled an event since: its handlers have run and its triggers have
// been checked.
inline bool WhenHandled(const TApdBaseDispatcher& dispatcher, const std::function<void()>& action,
                        std::chrono::milliseconds timeout = kTimeout) {
  const std::uint64_t before = dispatcher.CommEventsHandled();
  action();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (dispatcher.CommEventsHandled() == before) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace serial::testing_support
