#include <array>
#include <memory>

#include "mgmt/Discovery.h"
#include "mgmt/DriverChannel.h"
#include "mgmt/Registry.h"

namespace mgmt {
namespace {

constexpr std::array<const char*, 5> kHardwareIds = {"VEN_7E3A&DEV_0028", "VEN_7E3A&DEV_0029",
                                                     "VEN_7E3A&DEV_0040", "VEN_7E3A&DEV_00B0",
                                                     "VEN_7E3A&DEV_00B1"};
constexpr char kPciRoot[] = "Enum\\Pci";
constexpr char kClassRoot[] = "System\\CurrentControlSet\\Services\\Class";
constexpr char kFirstChildRoot[] = "Enum\\MF\\CHILD0000";
constexpr std::uint32_t kEnumerateAndQuery = kKeyEnumerateSubKeys | kKeyQueryValue;
// Values longer than this are damage, not texts of a device record.
constexpr std::uint32_t kMaxValueSize = 1 << 16;

bool IsBoardKey(const std::string& name) {
  for (const char* id : kHardwareIds)
    if (name.find(id) != std::string::npos) return true;
  return false;
}

std::optional<std::string> ReadText(const OpenKey& key, const std::string& valueName) {
  auto info = key.Info();
  if (!info || info->maxValueLength > kMaxValueSize) return std::nullopt;
  return key.Text(valueName, info->maxValueLength + 1);
}

// One instance I of device key D: false fails the device step.
bool DiscoverInstance(Shim& shim, const OpenKey& device, const RegKeyInfo& deviceInfo,
                      std::uint32_t index, const std::string& deviceName,
                      const OpenKey& classRoot) {
  Host& host = shim.host;
  auto record = std::make_unique<BoardRecord>();
  auto instanceName = device.SubKeyName(deviceInfo, index);
  if (!instanceName) return false;
  record->pciPath = "Pci\\" + deviceName + "\\" + *instanceName;

  OpenKey instance(host, device.Key(), *instanceName, kEnumerateAndQuery);
  auto driverKey = ReadText(instance, "Driver");
  auto description = ReadText(instance, "DeviceDesc");
  if (!driverKey || !description) return false;
  record->description = *description;

  OpenKey driver(host, classRoot.Key(), *driverKey, kEnumerateAndQuery);
  auto portDriver = ReadText(driver, "PortDriver");
  if (!portDriver) return false;
  record->driverName = *portDriver;
  record->driverFilePath = *portDriver;
  record->devicePath = "\\\\.\\" + *portDriver;

  OpenKey child(host, kLocalMachine,
                std::string(kFirstChildRoot) + "\\PCI&" + deviceName + "&" + *instanceName,
                kKeyQueryValue);
  auto portName = ReadText(child, "PortName");
  if (!portName) return false;
  record->portPath = "\\\\.\\" + *portName;

  // Listed even when the refresh fails: the port names still come from the driver.
  RefreshBoard({host, shim.platform}, *record);
  shim.boardList.InsertAtHead(std::move(record));
  return true;
}

bool DiscoverDevice(Shim& shim, const OpenKey& device, const std::string& deviceName) {
  OpenKey classRoot(shim.host, kLocalMachine, kClassRoot, kEnumerateAndQuery);
  if (!classRoot.IsOpen()) return false;
  auto info = device.Info();
  if (!info) return false;
  for (std::uint32_t index = 0; index < info->subKeys; ++index)
    if (!DiscoverInstance(shim, device, *info, index, deviceName, classRoot)) return false;
  return true;
}

}  // namespace

void DiscoverBoards9x(Shim& shim) {
  OpenKey pci(shim.host, kLocalMachine, kPciRoot, kEnumerateAndQuery);
  auto info = pci.Info();
  if (!info) return;
  for (std::uint32_t index = 0; index < info->subKeys; ++index) {
    auto deviceName = pci.SubKeyName(*info, index);
    if (!deviceName) return;
    if (!IsBoardKey(*deviceName)) continue;
    OpenKey device(shim.host, pci.Key(), *deviceName, kEnumerateAndQuery);
    if (!device.IsOpen() || !DiscoverDevice(shim, device, *deviceName)) return;
  }
}

}  // namespace mgmt
