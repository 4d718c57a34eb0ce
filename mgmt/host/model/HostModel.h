// Host over a ModelMachine: the registry, device setup, Windows directory,
// version blocks and devices of an in-memory Windows machine. Devices answer
// through a DeviceModel that the owner attaches by path. Records every device
// open and request, and can be told to fail the nth call of a kind, so tests
// can end a walk at any step. One thread at a time.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mgmt/Host.h"
#include "mgmt/host/model/ModelMachine.h"

namespace mgmt {

// A device's driver. handle tells apart the opens of one device.
class DeviceModel {
 public:
  virtual ~DeviceModel() = default;
  virtual bool Control(Handle handle, std::uint32_t code, const void* input,
                       std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                       std::uint32_t& bytesReturned) = 0;
};

struct ModelRequest {
  std::string devicePath;
  std::uint32_t code = 0;
  const void* input = nullptr;
  std::uint32_t inputLength = 0;
  std::string inputBytes;  // a copy of the input as it was sent
  void* output = nullptr;
  std::uint32_t outputLength = 0;
};

struct HostModelLog {
  std::vector<std::uint32_t> versionRecordSizes;
  std::vector<std::string> createdFiles;  // every CreateFile path, in order
  std::vector<std::string> closedFiles;
  std::vector<ModelRequest> requests;
  int setupApiLoads = 0;
  int setupApiFrees = 0;
  int deviceSetsDestroyed = 0;
  std::vector<std::uint32_t> classDevsFlags;
  int openKeys = 0;  // registry keys open now
};

class HostModel : public Host {
 public:
  explicit HostModel(ModelMachine machine);

  const ModelMachine& Machine() const { return machine_; }
  const HostModelLog& Log() const { return log_; }

  // Makes path openable; a null driver refuses every request.
  void AttachDevice(const std::string& path, std::shared_ptr<DeviceModel> driver);
  // The nth call (1-based, counted from the first call ever) named call
  // fails: "GetVersionEx", "RegOpenKeyEx", "RegQueryInfoKey", "RegEnumKeyEx",
  // "RegQueryValueEx", "SetupDiGetClassDevs", "SetupDiEnumDeviceInterfaces",
  // "SetupDiGetDeviceInterfaceDetail", "SetupDiGetDeviceRegistryProperty",
  // "GetWindowsDirectory", "CreateFile", "DeviceIoControl",
  // "GetFileVersionInfoSize", "GetFileVersionInfo", "VerQueryValue".
  void FailCall(const std::string& call, int nth);

  bool GetVersionEx(std::uint32_t recordSize, OsVersion& version) override;
  bool RegOpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                    RegKey& key) override;
  bool RegQueryInfoKey(RegKey key, RegKeyInfo& info) override;
  bool RegEnumKeyEx(RegKey key, std::uint32_t index, char* name, std::uint32_t& nameSize) override;
  bool RegQueryValueEx(RegKey key, const std::string& valueName, std::uint8_t* data,
                       std::uint32_t& size) override;
  bool RegCloseKey(RegKey key) override;
  ModuleHandle LoadLibrary(const std::string& name) override;
  ProcAddress GetProcAddress(ModuleHandle module, const std::string& name) override;
  bool FreeLibrary(ModuleHandle module) override;
  DevInfoSet SetupDiGetClassDevs(const SetupApi& api, const Guid& interfaceClass,
                                 std::uint32_t flags) override;
  bool SetupDiEnumDeviceInterfaces(const SetupApi& api, DevInfoSet set, const Guid& interfaceClass,
                                   std::uint32_t index, DeviceInterfaceData& data) override;
  bool SetupDiGetDeviceInterfaceDetail(const SetupApi& api, DevInfoSet set,
                                       const DeviceInterfaceData& data, std::uint32_t detailSize,
                                       std::string* devicePath, std::uint32_t* requiredSize,
                                       DeviceInfoData* info) override;
  bool SetupDiGetDeviceRegistryProperty(const SetupApi& api, DevInfoSet set,
                                        const DeviceInfoData& info, std::uint32_t property,
                                        std::uint8_t* buffer, std::uint32_t bufferSize) override;
  bool SetupDiDestroyDeviceInfoList(const SetupApi& api, DevInfoSet set) override;
  std::uint32_t GetWindowsDirectory(char* buffer, std::uint32_t bufferSize) override;
  Handle CreateFile(const std::string& path, std::uint32_t access, std::uint32_t share,
                    std::uint32_t disposition, std::uint32_t flags) override;
  bool CloseHandle(Handle handle) override;
  bool DeviceIoControl(Handle handle, std::uint32_t code, const void* input,
                       std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                       std::uint32_t* bytesReturned) override;
  std::uint32_t GetFileVersionInfoSize(const std::string& path) override;
  bool GetFileVersionInfo(const std::string& path, std::uint32_t size, void* data) override;
  bool VerQueryValue(const void* block, std::uint32_t size, const std::string& key,
                     std::string& value) override;

 protected:
  // Counts the call and answers whether it is one told to fail.
  bool Injected(const std::string& call);
  HostModelLog& MutableLog() { return log_; }

 private:
  const ModelFile* FindFile(const std::string& path) const;
  const ModelDeviceInterface* InterfaceOf(const std::uint8_t* bytes) const;

  ModelMachine machine_;
  HostModelLog log_;
  std::map<std::string, int> callCounts_;
  std::map<std::string, std::vector<int>> failures_;
  std::map<RegKey, const ModelRegistryKey*> keys_;
  RegKey nextKey_ = 0x1000;
  std::vector<std::pair<std::string, std::shared_ptr<DeviceModel>>> devices_;
  std::map<Handle, std::size_t> handles_;  // handle -> index into devices_
  Handle nextHandle_ = 0x100;
  std::vector<const ModelDeviceInterface*> classDevs_;
};

// "{A45BE448-4733-4C82-9451-69D4E21C0A24}" for a GUID, upper-case hex.
std::string GuidText(const Guid& guid);

}  // namespace mgmt
