// Any host.json: read leniently, then every walk runs over what was kept.
#include <string>

#include "mgmt/Shim.h"
#include "mgmt/host/model/HostModel.h"
#include "mgmt/host/model/ModelJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  mgmt::ModelMachine machine =
      mgmt::ReadMachineJson(std::string(reinterpret_cast<const char*>(data), size));
  for (std::uint32_t platform : {machine.version.platformId, 1u, 2u}) {
    machine.version.platformId = platform;
    for (std::uint32_t major : {machine.version.major, 4u, 5u}) {
      machine.version.major = major;
      mgmt::HostModel host(machine);
      for (const auto& device : machine.devices) host.AttachDevice(device.path, nullptr);
      mgmt::Shim shim(host);
      mgmt::AttachShim(shim);
    }
  }
  return 0;
}
