// Who holds a port: the processes that have its device open and those that
// hold a lock on its device node, found without opening the device. POSIX.
//
// Read from <system root>/proc (platform/ComNamespace_posix.h): a process's
// descriptors where this user may read /proc/PID/fd, every lock through
// /proc/locks (readable by all), and program and owner from /proc/PID/comm
// and the owner of /proc/PID. What cannot be read is left out; nothing here
// fails. Any thread; a call scans /proc once, however many devices it asks
// about.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct PortHolder {
  int pid = 0;          // 0: the lock's holder is outside this process's view
  std::string program;  // as /proc/PID/comm has it; empty when unreadable
  std::optional<uid_t> uid;
  std::string user;           // the uid's name, else the uid in decimal
  bool byDescriptor = false;  // seen among the process's descriptors
  bool byLock = false;        // holds a lock on the device node
};

// The holders of each device, in the order of devicePaths (each one ordered
// by pid); the calling process is left out. A path that leads to no device
// has no holders.
std::vector<std::vector<PortHolder>> FindPortHolders(const std::vector<std::string>& devicePaths,
                                                     const std::string& systemRoot);

// The holders of COM n's device, resolved as the engine opens it.
std::vector<PortHolder> FindComPortHolders(int comNumber);

}  // namespace platform
