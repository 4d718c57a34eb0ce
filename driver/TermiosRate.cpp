#include "driver/TermiosRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace orvalisd {

LineRate ReadLineRate(int fd) {
  LineRate rate;
  struct termios2 settings {};
  // TCGETS2 reports the numeric rate, custom (BOTHER) rates included.
  if (ioctl(fd, TCGETS2, &settings) != 0) return rate;
  rate.baud = settings.c_ospeed;
  rate.twoStopBits = (settings.c_cflag & CSTOPB) != 0;
  std::uint32_t dataBits = 8;
  switch (settings.c_cflag & CSIZE) {
    case CS5:
      dataBits = 5;
      break;
    case CS6:
      dataBits = 6;
      break;
    case CS7:
      dataBits = 7;
      break;
    default:
      break;
  }
  rate.bitsPerChar =
      1 + dataBits + ((settings.c_cflag & PARENB) ? 1 : 0) + (rate.twoStopBits ? 2 : 1);
  return rate;
}

}  // namespace orvalisd
