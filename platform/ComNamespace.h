// The COM namespace: which device "\\.\COMn" names.
//
// Linux: the link "comN" (lower case) in <host root>/dosdevices/ when it
// exists (what orvalisd creates, and what a user adds to pin a number), else
// the device that the numbering of the machine's serial devices gave COM n
// (platform/ComNamespace_posix.h), numbered once. Windows: "\\.\COMn" itself.
// Tests may register in-memory devices under COM numbers of their own; those
// win over both.
#pragma once

#include <memory>
#include <string>

namespace platform {

// The highest COM number the program lists or numbers.
constexpr int kMaxComNumber = 256;

// The device path for COM number n (n >= 1); empty for n < 1, and on Linux
// for a number that no link or device has. Any thread.
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
