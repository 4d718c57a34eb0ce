#include "BenchPty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

Pty OpenPty() {
  Pty pty;
  pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  grantpt(pty.master);
  unlockpt(pty.master);
  pty.slave = ptsname(pty.master);
  const int slave = open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
  termios raw;
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  close(slave);
  return pty;
}
