#include "serial/PortProbe.h"

#include <string>

#include "platform/comm/CommDevice.h"
#include "serial/Dispatcher.h"

namespace serial {

bool ProbeThroughDispatcher = true;
bool CountBusyPorts = true;

namespace {

// A dispatcher that performs only the device open.
class ProbeDispatcher : public TApdWin32Dispatcher {
 public:
  std::uint32_t Probe(const std::string& name) {
    std::uint32_t error = platform::kErrorSuccess;
    OpenDevice(name, error);  // the device closes again as it goes out of scope
    return error;
  }
};

}  // namespace

bool IsPortAvailable(std::uint16_t comNumber) {
  if (comNumber == 0) return false;
  const std::string name = "\\\\.\\COM" + std::to_string(comNumber);
  std::uint32_t error = platform::kErrorSuccess;
  if (ProbeThroughDispatcher) {
    ProbeDispatcher dispatcher;
    error = dispatcher.Probe(name);
  } else {
    platform::OpenCommDevice(name, error);
  }
  return error == platform::kErrorSuccess ||
         (CountBusyPorts && error == platform::kErrorAccessDenied);
}

}  // namespace serial
