// The shim's host on Windows: every Host call is the Windows API call of the
// same name (the device-setup calls through the functions bound at run time).
#pragma once

#include "mgmt/Host.h"

namespace mgmt {

class Win32Host : public Host {
 public:
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
};

}  // namespace mgmt
