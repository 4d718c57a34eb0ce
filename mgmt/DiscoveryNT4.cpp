#include <cstdio>
#include <memory>

#include "mgmt/Discovery.h"
#include "mgmt/DriverChannel.h"
#include "mgmt/Registry.h"

namespace mgmt {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr char kDeviceBaseName[] = "Orvalis";
constexpr int kLastDeviceNumber = 9;
constexpr std::uint32_t kRegistryPathSize = 1024;
constexpr std::uint32_t kValueBufferSize = 1024;

std::string DevicePath(int number) {
  char path[64];
  std::snprintf(path, sizeof path, "%s%s%x", kDevicePrefix, kDeviceBaseName,
                static_cast<unsigned>(number));
  return path;
}

bool Probe(Host& host, const std::string& path) {
  const Handle probe = host.CreateFile(path, kGenericReadWrite, 0, kOpenExisting,
                                       kFileAttributeNormal | kFileFlagDeleteOnClose);
  if (probe == kInvalidHandle) return false;
  host.CloseHandle(probe);
  return true;
}

// Description and driver name from the key the driver names; false ends discovery.
bool ReadDriverKey(Host& host, BoardRecord& record, const std::string& registryPath) {
  const auto start = registryPath.find("System");
  if (start == std::string::npos) return false;
  OpenKey key(host, kLocalMachine, registryPath.substr(start),
              kKeyEnumerateSubKeys | kKeyQueryValue);
  auto info = key.Info();
  if (!info || info->maxValueLength > kValueBufferSize) return false;
  auto description = key.Text("DeviceDescr", kValueBufferSize);
  auto driverName = key.Text("DriverName", kValueBufferSize);
  if (!description || !driverName) return false;
  record.description = *description;
  record.driverName = *driverName;
  return true;
}

// One device that answered the probe: false ends discovery.
bool DiscoverDevice(Shim& shim, const std::string& path) {
  Host& host = shim.host;
  const DriverContext context{host, shim.platform};
  auto record = std::make_unique<BoardRecord>();
  record->devicePath = path;
  if (OpenBoardDevice(context, *record) != MgmtSuccess) return false;
  char answer[kRegistryPathSize] = {};
  if (SendDriverRequest(context, *record, IOCTL_BOARD_GET_REGISTRY_PATH, nullptr, 0, answer,
                        kRegistryPathSize) != MgmtSuccess)
    return false;
  // A driver that leaves no NUL must not make us read past the answer.
  if (!ReadDriverKey(host, *record, TextUpToNul(answer, kRegistryPathSize))) return false;
  const std::string driverDirectory = DriverDirectory(host);
  if (driverDirectory.empty()) return false;
  record->driverFilePath = driverDirectory + *record->driverName;
  if (RefreshBoard(context, *record) != MgmtSuccess) return false;
  shim.boardList.InsertAtHead(std::move(record));
  return true;
}

}  // namespace

void DiscoverBoardsNT4(Shim& shim) {
  for (int number = 1; number <= kLastDeviceNumber; ++number) {
    const std::string path = DevicePath(number);
    if (!Probe(shim.host, path)) continue;
    if (!DiscoverDevice(shim, path)) return;
  }
}

}  // namespace mgmt
