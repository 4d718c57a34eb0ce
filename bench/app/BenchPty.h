// A pseudo-terminal for the app benchmarks: the master stays with the
// benchmark, the slave is the port a program opens; raw from the start, as
// an echo nobody reads would fill the master's queue.
#pragma once

#include <string>

struct Pty {
  int master = -1;
  std::string slave;
};

Pty OpenPty();
