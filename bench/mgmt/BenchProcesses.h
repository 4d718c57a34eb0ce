// Helper processes of the management benchmark: the reference round trip
// over a bare unix socket, and a port holder that opens and closes a device
// on command and says when it did.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

// A child process that answers each request frame's worth of bytes with a
// reply frame's worth, over a socketpair: the least two processes can do.
class BareEcho {
 public:
  BareEcho();
  ~BareEcho();
  BareEcho(const BareEcho&) = delete;
  BareEcho& operator=(const BareEcho&) = delete;

  // One request and its reply; false when the child is gone.
  bool RoundTrip();

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

// A child process that opens path on Open() and closes it on Close(); each
// answers the moment (steady clock) the child called open or close. The
// driver sees an open while the call runs, so the moment it returns could
// come after the status already shows it.
class PortHolderProcess {
 public:
  explicit PortHolderProcess(const std::string& path);
  ~PortHolderProcess();
  PortHolderProcess(const PortHolderProcess&) = delete;
  PortHolderProcess& operator=(const PortHolderProcess&) = delete;

  // Start the open or close; TakeMoment() then waits for the child's answer
  // (Clock::time_point::min() when the child failed).
  void Open();
  void Close();
  Clock::time_point TakeMoment();

 private:
  pid_t pid_ = -1;
  int commands_ = -1;
  int answers_ = -1;
};

}  // namespace bench
