// The board driver's answers, one request at a time. A refused request
// carries no bytes; an answer never exceeds the room the request gave.
//
// Requests 0x800 and 0x804, whose meaning is the driver's own: 0x800 echoes
// its input into its output (as much as fits); 0x804 takes a u32 port index
// and clears that port's byte counters.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "driver/PtyPort.h"
#include "driver/Publication.h"

namespace orvalisd {

struct DriverBoard {
  const BoardIdentity* identity = nullptr;
  std::vector<PtyPort*> ports;
};

// One connection's state: the board its last select chose (9x family).
struct Selection {
  const DriverBoard* board = nullptr;
};

struct Answer {
  bool done = false;
  std::vector<std::uint8_t> bytes;
};

// A request on a socket serving boards; selects says whether the socket
// needs IOCTL_BOARD_SELECT before any other request.
Answer AnswerRequest(std::span<const DriverBoard* const> boards, bool selects, Selection& selection,
                     std::uint32_t code, std::span<const std::uint8_t> input,
                     std::uint32_t outputRoom);

}  // namespace orvalisd
