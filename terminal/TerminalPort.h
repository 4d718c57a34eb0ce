// What the terminal needs of the serial port it is attached to: the emulator
// sends typed characters through it. Implemented over the serial engine's
// port component for the view, and by fakes in tests.
#pragma once

#include <cstdint>

namespace terminal {

class TerminalPort {
 public:
  virtual ~TerminalPort() = default;

  virtual bool Open() const = 0;
  // Queues one byte for output; only called while the port is open.
  virtual void SendChar(std::uint8_t ch) = 0;
};

}  // namespace terminal
