// The line settings of a pseudo-terminal as its slave set them, read through
// the master. Its own file: <asm/termbits.h> clashes with <termios.h>.
#pragma once

#include <cstdint>

namespace orvalisd {

struct LineRate {
  std::uint32_t baud = 0;          // 0 when unreadable
  std::uint32_t bitsPerChar = 10;  // start + data + parity + stop bits
  bool twoStopBits = false;
};

LineRate ReadLineRate(int fd);

}  // namespace orvalisd
