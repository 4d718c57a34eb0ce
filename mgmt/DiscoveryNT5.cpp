#include <memory>
#include <utility>

#include "mgmt/Discovery.h"
#include "mgmt/DriverChannel.h"
#include "mgmt/Registry.h"

namespace mgmt {
namespace {

// {A45BE448-4733-4C82-9451-69D4E21C0A24}
constexpr Guid kBoardInterfaceClass{
    0xA45BE448, 0x4733, 0x4C82, {0x94, 0x51, 0x69, 0xD4, 0xE2, 0x1C, 0x0A, 0x24}};
constexpr std::uint32_t kPropertyBufferSize = 1024;
// Larger interface details than this are not device paths but damage.
constexpr std::uint32_t kMaxDetailSize = 1 << 16;

// Runs a release step when the scope ends, also when a walk throws (out of
// memory); a release step that fails itself is not made worse by throwing.
template <class Release>
class ReleaseAtExit {
 public:
  explicit ReleaseAtExit(Release release) : release_(std::move(release)) {}
  ReleaseAtExit(const ReleaseAtExit&) = delete;
  ReleaseAtExit& operator=(const ReleaseAtExit&) = delete;
  ~ReleaseAtExit() {
    try {
      release_();
    } catch (...) {
    }
  }

 private:
  Release release_;
};

bool BindSetupApi(Host& host, ModuleHandle module, SetupApi& api) {
  api.getClassDevs = host.GetProcAddress(module, "SetupDiGetClassDevsA");
  api.enumDeviceInterfaces = host.GetProcAddress(module, "SetupDiEnumDeviceInterfaces");
  api.getDeviceInterfaceDetail = host.GetProcAddress(module, "SetupDiGetDeviceInterfaceDetailA");
  api.getDeviceRegistryProperty = host.GetProcAddress(module, "SetupDiGetDeviceRegistryPropertyA");
  api.destroyDeviceInfoList = host.GetProcAddress(module, "SetupDiDestroyDeviceInfoList");
  // Calling through a function that is not there would crash the loading
  // program, so any missing one ends discovery, not only the first.
  return api.getClassDevs && api.enumDeviceInterfaces && api.getDeviceInterfaceDetail &&
         api.getDeviceRegistryProperty && api.destroyDeviceInfoList;
}

std::optional<std::string> ReadProperty(Host& host, const SetupApi& api, DevInfoSet set,
                                        const DeviceInfoData& info, std::uint32_t property) {
  std::uint8_t buffer[kPropertyBufferSize] = {};
  if (!host.SetupDiGetDeviceRegistryProperty(api, set, info, property, buffer, kPropertyBufferSize))
    return std::nullopt;
  return TextUpToNul(reinterpret_cast<const char*>(buffer), kPropertyBufferSize);
}

// One interface: false ends discovery.
bool DiscoverInterface(Shim& shim, const SetupApi& api, DevInfoSet set,
                       const DeviceInterfaceData& data) {
  Host& host = shim.host;
  auto record = std::make_unique<BoardRecord>();
  std::uint32_t required = 0;
  host.SetupDiGetDeviceInterfaceDetail(api, set, data, 0, nullptr, &required, nullptr);
  if (required == 0 || required > kMaxDetailSize) return false;
  std::string devicePath;
  DeviceInfoData info;
  if (!host.SetupDiGetDeviceInterfaceDetail(api, set, data, required, &devicePath, nullptr, &info))
    return false;
  record->devicePath = devicePath;
  const std::string driverDirectory = DriverDirectory(host);
  if (driverDirectory.empty()) return false;
  if (auto service = ReadProperty(host, api, set, info, kSpdrpService)) {
    record->driverName = *service + ".sys";
    record->driverFilePath = driverDirectory + *service + ".sys";
  }
  if (auto description = ReadProperty(host, api, set, info, kSpdrpDeviceDesc))
    record->description = *description;
  if (RefreshBoard({host, shim.platform}, *record) != MgmtSuccess) return false;
  shim.boardList.InsertAtHead(std::move(record));
  return true;
}

void WalkInterfaces(Shim& shim, const SetupApi& api) {
  Host& host = shim.host;
  const DevInfoSet set =
      host.SetupDiGetClassDevs(api, kBoardInterfaceClass, kDigcfPresent | kDigcfDeviceInterface);
  if (set == kInvalidDevInfoSet) return;
  const ReleaseAtExit destroySet([&] { host.SetupDiDestroyDeviceInfoList(api, set); });
  DeviceInterfaceData data;
  for (std::uint32_t index = 0;
       host.SetupDiEnumDeviceInterfaces(api, set, kBoardInterfaceClass, index, data); ++index)
    if (!DiscoverInterface(shim, api, set, data)) break;
}

}  // namespace

void DiscoverBoardsNT5(Shim& shim) {
  Host& host = shim.host;
  const ModuleHandle setupApi = host.LoadLibrary("setupapi.dll");
  if (!setupApi) return;
  const ReleaseAtExit freeSetupApi([&] { host.FreeLibrary(setupApi); });
  SetupApi api;
  if (BindSetupApi(host, setupApi, api)) WalkInterfaces(shim, api);
}

}  // namespace mgmt
