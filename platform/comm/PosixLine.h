// The line settings of a POSIX terminal device through termios2, kept apart
// because <asm/termbits.h> and <termios.h> cannot share a source file.
// Internal to the POSIX comm back-end.
#pragma once

#include <cstdint>

namespace platform::posix {

struct LineSettings {
  std::uint32_t baud = 0;
  std::uint8_t dataBits = 8;  // 5..8
  std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  bool twoStopBits = false;   // one and a half with 5 data bits
  bool rtsCts = false;
  bool xonOutput = false;  // IXON
  bool xoffInput = false;  // IXOFF
  bool parityCheck = false;
  char xonChar = 17;
  char xoffChar = 19;
};

// Each returns 0 or an errno value.
int ReadLineSettings(int fd, LineSettings& settings);
// Writes the settings and reads the rate back: EINVAL when the device kept a
// rate more than 3% away from the one asked for (the old settings are put
// back then).
int WriteLineSettings(int fd, const LineSettings& settings);
// Raw mode as a Windows device has it: no line discipline processing, reads
// that return what is there (VMIN=1 so that a read of 0 means hang-up),
// CLOCAL so that a carrier drop does not hang the port up, HUPCL so that the
// last close lowers DTR and RTS. Rate, size, parity and stop bits stay.
int MakeRaw(int fd);

}  // namespace platform::posix
