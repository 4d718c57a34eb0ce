// Another process that takes hold of a board port as a test needs (opens it,
// marks it, sets it up, writes to it), tells whether that worked, and keeps
// its hold until released. Released when the object goes, also when the test
// fails.
#pragma once

#include <sys/types.h>

#include <functional>

namespace orvalisd::test {

class PortHolderProcess {
 public:
  // take runs in the child and answers whether the hold was taken.
  explicit PortHolderProcess(const std::function<bool()>& take);
  ~PortHolderProcess() { Release(); }
  PortHolderProcess(const PortHolderProcess&) = delete;
  PortHolderProcess& operator=(const PortHolderProcess&) = delete;

  bool Held() const { return held_; }
  pid_t Pid() const { return pid_; }
  // The child exits, which drops what it held.
  void Release();

 private:
  pid_t pid_ = -1;
  int releaseFd_ = -1;
  bool held_ = false;
};

}  // namespace orvalisd::test
