#include "mgmt/host/linux/StatusPage.h"

#include <time.h>

#include <atomic>
#include <cstring>

namespace mgmt::status_page {
namespace {

// The page is shared memory between processes: only lock-free atomics work there.
static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic_ref<std::uint64_t>::is_always_lock_free);

// A writer preempted mid-change holds readers back for a time slice at most;
// past this many tries it is stopped there.
constexpr int kReadTries = 100000;

// Readers map the page read-only; an atomic load never writes.
std::uint32_t& Word(const std::uint32_t& word) {
  return const_cast<std::uint32_t&>(word);
}

template <std::size_t N>
void StoreWords(std::uint32_t (&words)[N], const std::uint8_t* bytes) {
  for (std::size_t i = 0; i < N; ++i) {
    std::uint32_t value;
    std::memcpy(&value, bytes + 4 * i, 4);
    std::atomic_ref<std::uint32_t>(words[i]).store(value, std::memory_order_relaxed);
  }
}

template <std::size_t N>
bool ReadWords(const PortSlot& slot, const std::uint32_t (&words)[N], std::uint8_t* out) {
  std::atomic_ref<std::uint32_t> sequence(Word(slot.sequence));
  for (int attempt = 0; attempt < kReadTries; ++attempt) {
    const std::uint32_t before = sequence.load(std::memory_order_acquire);
    if (before & 1) continue;
    std::uint32_t copy[N];
    for (std::size_t i = 0; i < N; ++i)
      copy[i] = std::atomic_ref<std::uint32_t>(Word(words[i])).load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (sequence.load(std::memory_order_relaxed) == before) {
      std::memcpy(out, copy, sizeof copy);
      return true;
    }
  }
  return false;
}

}  // namespace

std::uint64_t MonotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

void Beat(Header& header, std::uint64_t now) {
  std::atomic_ref<std::uint64_t>(header.heartbeat).store(now, std::memory_order_release);
}

bool IsFresh(const Header& header, std::uint64_t now) {
  const std::uint64_t beat =
      std::atomic_ref<std::uint64_t>(const_cast<std::uint64_t&>(header.heartbeat))
          .load(std::memory_order_acquire);
  const auto limit = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(kStaleAfter).count());
  return beat >= now || now - beat <= limit;
}

void WriteSlot(PortSlot& slot, const std::uint8_t* status, const std::uint8_t* counters) {
  std::atomic_ref<std::uint32_t> sequence(slot.sequence);
  const std::uint32_t before = sequence.load(std::memory_order_relaxed);
  sequence.store(before + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  StoreWords(slot.status, status);
  StoreWords(slot.counters, counters);
  sequence.store(before + 2, std::memory_order_release);
}

bool ReadStatus(const PortSlot& slot, std::uint8_t* out) {
  return ReadWords(slot, slot.status, out);
}

bool ReadCounters(const PortSlot& slot, std::uint8_t* out) {
  return ReadWords(slot, slot.counters, out);
}

}  // namespace mgmt::status_page
