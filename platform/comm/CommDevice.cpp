#include "platform/comm/CommDevice.h"

#include "platform/comm/NativeComm.h"

namespace platform {

std::unique_ptr<CommDevice> OpenCommDevice(const std::string& name, std::uint32_t& error) {
  error = kErrorSuccess;
  const int comNumber = ParseComName(name);
  if (comNumber > 0) {
    if (auto port = std::dynamic_pointer_cast<InMemoryCommPort>(FindRegisteredComDevice(comNumber)))
      return port->Open(error);
  }
  return OpenNativeCommDevice(comNumber, name, error);
}

}  // namespace platform
