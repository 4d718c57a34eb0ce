#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

#include <cstdlib>

#include "platform/comm/PosixLine.h"

namespace platform::posix {
namespace {

// Standard rates keep their B-constant, so that tools reading the line with
// plain termios see the rate; others go through BOTHER.
tcflag_t RateFlag(std::uint32_t baud) {
  static const struct {
    std::uint32_t baud;
    tcflag_t flag;
  } kRates[] = {{50, B50},           {75, B75},           {110, B110},         {134, B134},
                {150, B150},         {200, B200},         {300, B300},         {600, B600},
                {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
                {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
                {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
                {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
                {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
                {3500000, B3500000}, {4000000, B4000000}};
  for (const auto& rate : kRates)
    if (rate.baud == baud) return rate.flag;
  return BOTHER;
}

int Get(int fd, termios2& t) {
  return ioctl(fd, TCGETS2, &t) == 0 ? 0 : errno;
}
int Set(int fd, const termios2& t) {
  return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

}  // namespace

int ReadLineSettings(int fd, LineSettings& s) {
  termios2 t{};
  if (int error = Get(fd, t)) return error;
  s.baud = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      s.dataBits = 5;
      break;
    case CS6:
      s.dataBits = 6;
      break;
    case CS7:
      s.dataBits = 7;
      break;
    default:
      s.dataBits = 8;
      break;
  }
  if (!(t.c_cflag & PARENB))
    s.parity = 0;
  else if (t.c_cflag & CMSPAR)
    s.parity = (t.c_cflag & PARODD) ? 3 : 4;
  else
    s.parity = (t.c_cflag & PARODD) ? 1 : 2;
  s.twoStopBits = (t.c_cflag & CSTOPB) != 0;
  s.rtsCts = (t.c_cflag & CRTSCTS) != 0;
  s.xonOutput = (t.c_iflag & IXON) != 0;
  s.xoffInput = (t.c_iflag & IXOFF) != 0;
  s.parityCheck = (t.c_iflag & INPCK) != 0;
  s.xonChar = static_cast<char>(t.c_cc[VSTART]);
  s.xoffChar = static_cast<char>(t.c_cc[VSTOP]);
  return 0;
}

int WriteLineSettings(int fd, const LineSettings& s) {
  termios2 old{};
  if (int error = Get(fd, old)) return error;
  termios2 t = old;
  t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= RateFlag(s.baud);  // the input rate follows (CIBAUD 0)
  t.c_ispeed = t.c_ospeed = s.baud;
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[(s.dataBits < 5 || s.dataBits > 8 ? 8 : s.dataBits) - 5];
  switch (s.parity) {
    case 1:
      t.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      t.c_cflag |= PARENB;
      break;
    case 3:
      t.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case 4:
      t.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (s.twoStopBits) t.c_cflag |= CSTOPB;
  if (s.rtsCts) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | INPCK);
  if (s.xonOutput) t.c_iflag |= IXON;
  if (s.xoffInput) t.c_iflag |= IXOFF;
  if (s.parityCheck) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
  if (int error = Set(fd, t)) return error;
  // Drivers store the nearest rate they can make, or fall back to another.
  termios2 back{};
  if (int error = Get(fd, back)) return error;
  const long long asked = s.baud;
  if (std::llabs(static_cast<long long>(back.c_ospeed) - asked) * 100 > asked * 3) {
    Set(fd, old);
    return EINVAL;
  }
  return 0;
}

int MakeRaw(int fd) {
  termios2 t{};
  if (int error = Get(fd, t)) return error;
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IGNPAR |
                 IUCLC | IMAXBEL);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CLOCAL | CREAD | HUPCL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return Set(fd, t);
}

}  // namespace platform::posix
