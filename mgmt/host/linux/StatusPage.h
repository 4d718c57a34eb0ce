// The status page of a driver socket: a file beside the socket (the rule is
// StatusPageName in HostRoot.h, mode 0600 in the 0700 socket folder) that
// orvalisd keeps current and the shim maps read-only, so that the port
// status and counters need no request. One writer (orvalisd's one thread),
// any number of readers in other processes; nothing here takes a lock.
//
//   Header (64 bytes) | BoardEntry x boardCount | PortSlot x portCount
//
// The header and the board entries are written once, before the file gets
// its name, and never change. A port slot holds the port's two records,
// MgmtPortStatus and MgmtPortCounters, byte for byte as the driver answers
// them, under a sequence counter (a seqlock: odd while the writer changes
// them). The heartbeat is the writer's CLOCK_MONOTONIC time of its last beat
// (every kBeatPeriod); a page whose beat is older than kStaleAfter belongs to
// a driver that does not answer. Readers check every count against the
// file's size before they use it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "mgmt/MgmtCommand.h"

namespace mgmt::status_page {

constexpr std::uint32_t kMagic = 0x47505351;  // "QSPG"
constexpr std::uint32_t kFormat = 1;
constexpr std::uint32_t kMaxBoards = 256;
constexpr std::uint32_t kMaxPorts = 4096;
constexpr std::uint32_t kMaxSelectLength = 240;
constexpr std::chrono::milliseconds kBeatPeriod{100};
constexpr std::chrono::milliseconds kStaleAfter{1000};

struct Header {
  std::uint32_t magic;
  std::uint32_t format;
  std::uint32_t boardCount;
  std::uint32_t portCount;  // slots, all boards together
  std::uint32_t selects;    // 1: a board is picked by its IOCTL_BOARD_SELECT text
  std::uint32_t writerPid;
  std::uint64_t heartbeat;  // atomic
  std::uint8_t reserved[32];
};
static_assert(offsetof(Header, boardCount) == 8);
static_assert(offsetof(Header, selects) == 16);
static_assert(offsetof(Header, heartbeat) == 24);
static_assert(sizeof(Header) == 64);

struct BoardEntry {
  std::uint32_t firstSlot;
  std::uint32_t portCount;
  std::uint32_t selectLength;  // 0 on a socket that serves one board
  std::uint32_t reserved;
  char select[kMaxSelectLength];  // the board's PCI path, not NUL-terminated
};
static_assert(offsetof(BoardEntry, select) == 16);
static_assert(sizeof(BoardEntry) == 256);

constexpr std::uint32_t kStatusWords = MgmtPortStatusSize / 4;
constexpr std::uint32_t kCounterWords = MgmtPortCountersSize / 4;

// The records as the host's bytes in 32-bit words, each word atomic.
struct PortSlot {
  std::uint32_t sequence;  // atomic
  std::uint32_t reserved;
  std::uint32_t status[kStatusWords];
  std::uint32_t counters[kCounterWords];
  std::uint32_t padding[13];
};
static_assert(MgmtPortStatusSize % 4 == 0 && MgmtPortCountersSize % 4 == 0);
static_assert(offsetof(PortSlot, status) == 8);
static_assert(offsetof(PortSlot, counters) == 8 + MgmtPortStatusSize);
static_assert(sizeof(PortSlot) == 192);

constexpr std::size_t kBoardsOffset = sizeof(Header);
constexpr std::size_t SlotsOffset(std::uint32_t boardCount) {
  return kBoardsOffset + std::size_t{boardCount} * sizeof(BoardEntry);
}
constexpr std::size_t PageSize(std::uint32_t boardCount, std::uint32_t portCount) {
  return SlotsOffset(boardCount) + std::size_t{portCount} * sizeof(PortSlot);
}
static_assert(PageSize(1, 1) % 64 == 0);

// CLOCK_MONOTONIC in nanoseconds: the clock of the heartbeat.
std::uint64_t MonotonicNanos();

void Beat(Header& header, std::uint64_t now);
// Whether the writer beat within kStaleAfter of now.
bool IsFresh(const Header& header, std::uint64_t now);

// Writer: both records, each kSize bytes.
void WriteSlot(PortSlot& slot, const std::uint8_t* status, const std::uint8_t* counters);
// Reader: the status record (or the counters record) whole into out; false
// when the writer stayed in the middle of a change for every try (it stopped
// there).
bool ReadStatus(const PortSlot& slot, std::uint8_t* out);
bool ReadCounters(const PortSlot& slot, std::uint8_t* out);

}  // namespace mgmt::status_page
