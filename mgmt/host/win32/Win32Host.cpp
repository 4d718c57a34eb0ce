#include "mgmt/host/win32/Win32Host.h"

#include <windows.h>
// After windows.h:
#include <setupapi.h>
#include <winver.h>

// windows.h maps these names to their A or W forms; our methods keep the plain
// names and call the A forms explicitly.
#undef GetVersionEx
#undef RegOpenKeyEx
#undef RegQueryInfoKey
#undef RegEnumKeyEx
#undef RegQueryValueEx
#undef LoadLibrary
#undef SetupDiGetClassDevs
#undef SetupDiGetDeviceInterfaceDetail
#undef SetupDiGetDeviceRegistryProperty
#undef GetWindowsDirectory
#undef CreateFile
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue

#include <cstring>
#include <memory>
#include <vector>

#include "mgmt/SystemHost.h"

namespace mgmt {
namespace {

static_assert(sizeof(OSVERSIONINFOEXA) == kVersionRecordExtended);
static_assert(sizeof(OSVERSIONINFOA) == kVersionRecordPlain);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) <= sizeof(DeviceInterfaceData::bytes));
static_assert(sizeof(SP_DEVINFO_DATA) <= sizeof(DeviceInfoData::bytes));
static_assert(sizeof(HANDLE) == sizeof(Handle) && sizeof(HKEY) == sizeof(RegKey));

using GetClassDevsFunction = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using EnumDeviceInterfacesFunction = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD,
                                                   PSP_DEVICE_INTERFACE_DATA);
using GetDeviceInterfaceDetailFunction = BOOL(WINAPI*)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                       PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD,
                                                       PDWORD, PSP_DEVINFO_DATA);
using GetDeviceRegistryPropertyFunction = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD,
                                                        PBYTE, DWORD, PDWORD);
using DestroyDeviceInfoListFunction = BOOL(WINAPI*)(HDEVINFO);

template <typename Function>
Function Bound(ProcAddress address) {
  return reinterpret_cast<Function>(address);
}

GUID ToGuid(const Guid& guid) {
  GUID out;
  out.Data1 = guid.data1;
  out.Data2 = guid.data2;
  out.Data3 = guid.data3;
  std::memcpy(out.Data4, guid.data4.data(), 8);
  return out;
}

HKEY ToKey(RegKey key) {
  return key == kLocalMachine ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key);
}

HDEVINFO ToSet(DevInfoSet set) {
  return reinterpret_cast<HDEVINFO>(set);
}

template <typename Record, typename Bytes>
Record Unpack(const Bytes& bytes) {
  Record record;
  std::memcpy(&record, bytes.data(), sizeof record);
  return record;
}

}  // namespace

std::unique_ptr<Host> CreateSystemHost() {
  return std::make_unique<Win32Host>();
}

bool Win32Host::GetVersionEx(std::uint32_t recordSize, OsVersion& version) {
  OSVERSIONINFOEXA record{};
  if (recordSize != sizeof(OSVERSIONINFOEXA) && recordSize != sizeof(OSVERSIONINFOA)) return false;
  record.dwOSVersionInfoSize = recordSize;
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record))) return false;
  version = {record.dwPlatformId, record.dwMajorVersion, record.dwMinorVersion};
  return true;
}

bool Win32Host::RegOpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                             RegKey& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(ToKey(parent), subKey.c_str(), 0, access, &opened) != ERROR_SUCCESS)
    return false;
  key = reinterpret_cast<RegKey>(opened);
  return true;
}

bool Win32Host::RegQueryInfoKey(RegKey key, RegKeyInfo& info) {
  DWORD subKeys = 0, maxSubKeyLength = 0, maxValueLength = 0;
  if (::RegQueryInfoKeyA(ToKey(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLength, nullptr,
                         nullptr, nullptr, &maxValueLength, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  info = {subKeys, maxSubKeyLength, maxValueLength};
  return true;
}

bool Win32Host::RegEnumKeyEx(RegKey key, std::uint32_t index, char* name, std::uint32_t& nameSize) {
  DWORD size = nameSize;
  if (::RegEnumKeyExA(ToKey(key), index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS)
    return false;
  nameSize = size;
  return true;
}

bool Win32Host::RegQueryValueEx(RegKey key, const std::string& valueName, std::uint8_t* data,
                                std::uint32_t& size) {
  DWORD length = size;
  const LONG result =
      ::RegQueryValueExA(ToKey(key), valueName.c_str(), nullptr, nullptr, data, &length);
  size = length;
  return result == ERROR_SUCCESS;
}

bool Win32Host::RegCloseKey(RegKey key) {
  return ::RegCloseKey(ToKey(key)) == ERROR_SUCCESS;
}

ModuleHandle Win32Host::LoadLibrary(const std::string& name) {
  return reinterpret_cast<ModuleHandle>(::LoadLibraryA(name.c_str()));
}

ProcAddress Win32Host::GetProcAddress(ModuleHandle module, const std::string& name) {
  return reinterpret_cast<ProcAddress>(
      ::GetProcAddress(reinterpret_cast<HMODULE>(module), name.c_str()));
}

bool Win32Host::FreeLibrary(ModuleHandle module) {
  return ::FreeLibrary(reinterpret_cast<HMODULE>(module)) != 0;
}

DevInfoSet Win32Host::SetupDiGetClassDevs(const SetupApi& api, const Guid& interfaceClass,
                                          std::uint32_t flags) {
  const GUID guid = ToGuid(interfaceClass);
  const HDEVINFO set =
      Bound<GetClassDevsFunction>(api.getClassDevs)(&guid, nullptr, nullptr, flags);
  return set == INVALID_HANDLE_VALUE ? kInvalidDevInfoSet : reinterpret_cast<DevInfoSet>(set);
}

bool Win32Host::SetupDiEnumDeviceInterfaces(const SetupApi& api, DevInfoSet set,
                                            const Guid& interfaceClass, std::uint32_t index,
                                            DeviceInterfaceData& data) {
  const GUID guid = ToGuid(interfaceClass);
  SP_DEVICE_INTERFACE_DATA record{};
  record.cbSize = sizeof record;
  if (!Bound<EnumDeviceInterfacesFunction>(api.enumDeviceInterfaces)(ToSet(set), nullptr, &guid,
                                                                     index, &record))
    return false;
  std::memcpy(data.bytes.data(), &record, sizeof record);
  return true;
}

bool Win32Host::SetupDiGetDeviceInterfaceDetail(const SetupApi& api, DevInfoSet set,
                                                const DeviceInterfaceData& data,
                                                std::uint32_t detailSize, std::string* devicePath,
                                                std::uint32_t* requiredSize, DeviceInfoData* info) {
  auto call = Bound<GetDeviceInterfaceDetailFunction>(api.getDeviceInterfaceDetail);
  auto interfaceRecord = Unpack<SP_DEVICE_INTERFACE_DATA>(data.bytes);
  DWORD required = 0;
  if (!devicePath) {
    const BOOL done = call(ToSet(set), &interfaceRecord, nullptr, 0, &required, nullptr);
    if (requiredSize) *requiredSize = required;
    return done != 0;
  }
  if (detailSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return false;
  // DWORD-aligned storage for the variable-length record.
  std::vector<DWORD> storage((detailSize + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  SP_DEVINFO_DATA deviceRecord{};
  deviceRecord.cbSize = sizeof deviceRecord;
  if (!call(ToSet(set), &interfaceRecord, detail, detailSize, &required, &deviceRecord))
    return false;
  const std::size_t room = detailSize - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  *devicePath = std::string(detail->DevicePath, strnlen(detail->DevicePath, room));
  if (requiredSize) *requiredSize = required;
  if (info) std::memcpy(info->bytes.data(), &deviceRecord, sizeof deviceRecord);
  return true;
}

bool Win32Host::SetupDiGetDeviceRegistryProperty(const SetupApi& api, DevInfoSet set,
                                                 const DeviceInfoData& info, std::uint32_t property,
                                                 std::uint8_t* buffer, std::uint32_t bufferSize) {
  auto deviceRecord = Unpack<SP_DEVINFO_DATA>(info.bytes);
  return Bound<GetDeviceRegistryPropertyFunction>(api.getDeviceRegistryProperty)(
             ToSet(set), &deviceRecord, property, nullptr, buffer, bufferSize, nullptr) != 0;
}

bool Win32Host::SetupDiDestroyDeviceInfoList(const SetupApi& api, DevInfoSet set) {
  return Bound<DestroyDeviceInfoListFunction>(api.destroyDeviceInfoList)(ToSet(set)) != 0;
}

std::uint32_t Win32Host::GetWindowsDirectory(char* buffer, std::uint32_t bufferSize) {
  return ::GetWindowsDirectoryA(buffer, bufferSize);
}

Handle Win32Host::CreateFile(const std::string& path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t disposition, std::uint32_t flags) {
  const HANDLE handle =
      ::CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  return reinterpret_cast<Handle>(handle);
}

bool Win32Host::CloseHandle(Handle handle) {
  return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
}

bool Win32Host::DeviceIoControl(Handle handle, std::uint32_t code, const void* input,
                                std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                                std::uint32_t* bytesReturned) {
  DWORD returned = 0;
  const BOOL done =
      ::DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, const_cast<void*>(input),
                        inputLength, output, outputLength, &returned, nullptr);
  if (bytesReturned) *bytesReturned = returned;
  return done != 0;
}

std::uint32_t Win32Host::GetFileVersionInfoSize(const std::string& path) {
  DWORD ignored = 0;
  return ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
}

bool Win32Host::GetFileVersionInfo(const std::string& path, std::uint32_t size, void* data) {
  return ::GetFileVersionInfoA(path.c_str(), 0, size, data) != 0;
}

bool Win32Host::VerQueryValue(const void* block, std::uint32_t, const std::string& key,
                              std::string& value) {
  char* text = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block, key.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
    return false;
  value.assign(text, strnlen(text, length));
  return true;
}

}  // namespace mgmt
