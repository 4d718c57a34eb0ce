// A futex under a flag and a count of sleepers: a Set with nobody asleep is
// one atomic exchange, and a wake-up needs no lock to be taken again.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "platform/Events.h"

namespace platform {

namespace {

std::uint32_t* FutexWord(std::atomic<std::uint32_t>& word) {
  static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
  return reinterpret_cast<std::uint32_t*>(&word);
}

// Sleeps while the word is 0, until the deadline on the monotonic clock
// (none: no deadline). Spurious returns are the caller's to handle.
void SleepWhileClear(std::atomic<std::uint32_t>& word, const timespec* deadline) {
  syscall(SYS_futex, FutexWord(word), FUTEX_WAIT_BITSET_PRIVATE, 0, deadline, nullptr,
          FUTEX_BITSET_MATCH_ANY);
}

timespec DeadlineAfter(std::chrono::milliseconds timeout) {
  // Longer waits than a year are cut to one, so the sum cannot overflow.
  timeout = std::clamp(timeout, std::chrono::milliseconds(0),
                       std::chrono::milliseconds(std::chrono::hours(24 * 365)));
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto total = std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec) +
                     std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(total);
  return {static_cast<time_t>(seconds.count()), static_cast<long>((total - seconds).count())};
}

bool Passed(const timespec& deadline) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec > deadline.tv_sec ||
         (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

}  // namespace

AutoResetEvent::AutoResetEvent() = default;
AutoResetEvent::~AutoResetEvent() = default;

void AutoResetEvent::Set() {
  // The sleeper counts itself before its last look at the flag, so either it
  // sees this signal or this sees it asleep.
  if (signalled_.exchange(1) == 0 && waiters_.load() > 0)
    syscall(SYS_futex, FutexWord(signalled_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

void AutoResetEvent::ResetEvent() {
  signalled_.store(0);
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
  const timespec deadline = DeadlineAfter(timeout);
  for (;;) {
    if (signalled_.exchange(0) == 1) return true;
    if (Passed(deadline)) return false;
    waiters_.fetch_add(1);
    if (signalled_.exchange(0) == 1) {
      waiters_.fetch_sub(1);
      return true;
    }
    SleepWhileClear(signalled_, &deadline);
    waiters_.fetch_sub(1);
  }
}

void AutoResetEvent::Wait() {
  for (;;) {
    if (signalled_.exchange(0) == 1) return;
    waiters_.fetch_add(1);
    if (signalled_.exchange(0) == 1) {
      waiters_.fetch_sub(1);
      return;
    }
    SleepWhileClear(signalled_, nullptr);
    waiters_.fetch_sub(1);
  }
}

}  // namespace platform
