// The COM namespace: which device "\\.\COMn" names.
//
// Linux: the link "comN" (lower case) in <host root>/dosdevices/ when it
// exists (what orvalisd creates, and what a user adds for a USB adapter),
// else /dev/ttyS<n-1> (platform/HostRoot.h). Windows: "\\.\COMn" itself.
// Tests may register in-memory devices under COM numbers of their own; those
// win over both.
#pragma once

#include <memory>
#include <string>

namespace platform {

// The device path for COM number n (n >= 1); empty for n < 1.
std::string ResolveComPath(int comNumber);

// COM n from "\\.\COMn", "COMn" or "comn" (no other text); 0 when it is none.
int ParseComName(const std::string& name);

// A device living in memory; the comm layer knows its concrete type.
class RegisteredComDevice {
 public:
  virtual ~RegisteredComDevice() = default;
};

// Registering under a number that has a device replaces it; nullptr removes it.
void RegisterComDevice(int comNumber, std::shared_ptr<RegisteredComDevice> device);
std::shared_ptr<RegisteredComDevice> FindRegisteredComDevice(int comNumber);

}  // namespace platform
