// The seam between the shim and the operating system: the Windows calls that
// the board list, driver channel and discovery make, one method each, with
// Windows semantics. host/win32 calls the real API, host/model is an
// in-memory machine, host/linux serves the model from the host root and
// reaches devices over unix sockets.
//
// Every method answers false (or an invalid handle, or 0) on failure and
// never throws. Output buffers are written only inside the sizes passed.
// A host is used from one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace mgmt {

using Handle = std::uintptr_t;
constexpr Handle kInvalidHandle = ~Handle{0};

using RegKey = std::uintptr_t;
constexpr RegKey kLocalMachine = 0x80000002;

using ModuleHandle = std::uintptr_t;  // 0 = none
using ProcAddress = std::uintptr_t;   // 0 = not found
using DevInfoSet = std::uintptr_t;
constexpr DevInfoSet kInvalidDevInfoSet = ~DevInfoSet{0};

// Platform identifiers of the version record.
constexpr std::uint32_t kVerPlatformWin32Windows = 1;
constexpr std::uint32_t kVerPlatformWin32NT = 2;

// Sizes of the two version records GetVersionEx accepts.
constexpr std::uint32_t kVersionRecordExtended = 156;
constexpr std::uint32_t kVersionRecordPlain = 148;

struct OsVersion {
  std::uint32_t platformId = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
};

struct RegKeyInfo {
  std::uint32_t subKeys = 0;
  std::uint32_t maxSubKeyLength = 0;  // characters, without the NUL
  std::uint32_t maxValueLength = 0;   // bytes
};

constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;

constexpr std::uint32_t kGenericReadWrite = 0xC0000000;
constexpr std::uint32_t kOpenExisting = 3;
constexpr std::uint32_t kFileAttributeNormal = 0x80;
constexpr std::uint32_t kFileFlagDeleteOnClose = 0x04000000;

constexpr std::uint32_t kMaxPath = 260;

// Device setup: the five functions bound from "setupapi.dll".
struct SetupApi {
  ProcAddress getClassDevs = 0;
  ProcAddress enumDeviceInterfaces = 0;
  ProcAddress getDeviceInterfaceDetail = 0;
  ProcAddress getDeviceRegistryProperty = 0;
  ProcAddress destroyDeviceInfoList = 0;
};

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};
  bool operator==(const Guid&) const = default;
};

// Opaque copies of the platform's interface and device records.
struct DeviceInterfaceData {
  std::array<std::uint8_t, 32> bytes{};
};
struct DeviceInfoData {
  std::array<std::uint8_t, 32> bytes{};
};

constexpr std::uint32_t kDigcfPresent = 0x02;
constexpr std::uint32_t kDigcfDeviceInterface = 0x10;
constexpr std::uint32_t kSpdrpDeviceDesc = 0x00;
constexpr std::uint32_t kSpdrpService = 0x04;

class Host {
 public:
  virtual ~Host() = default;

  // GetVersionExA with a record of recordSize bytes; false when refused.
  virtual bool GetVersionEx(std::uint32_t recordSize, OsVersion& version) = 0;

  virtual bool RegOpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                            RegKey& key) = 0;
  virtual bool RegQueryInfoKey(RegKey key, RegKeyInfo& info) = 0;
  // Writes the name and its NUL into name[0..nameSize); nameSize becomes the
  // length without the NUL. False when the index is past the end or the room
  // is too small.
  virtual bool RegEnumKeyEx(RegKey key, std::uint32_t index, char* name,
                            std::uint32_t& nameSize) = 0;
  // Copies the value's bytes into data[0..size); size becomes their count.
  virtual bool RegQueryValueEx(RegKey key, const std::string& valueName, std::uint8_t* data,
                               std::uint32_t& size) = 0;
  virtual bool RegCloseKey(RegKey key) = 0;

  virtual ModuleHandle LoadLibrary(const std::string& name) = 0;
  virtual ProcAddress GetProcAddress(ModuleHandle module, const std::string& name) = 0;
  virtual bool FreeLibrary(ModuleHandle module) = 0;

  // The device-setup calls, made through the functions bound in api.
  virtual DevInfoSet SetupDiGetClassDevs(const SetupApi& api, const Guid& interfaceClass,
                                         std::uint32_t flags) = 0;
  virtual bool SetupDiEnumDeviceInterfaces(const SetupApi& api, DevInfoSet set,
                                           const Guid& interfaceClass, std::uint32_t index,
                                           DeviceInterfaceData& data) = 0;
  // devicePath null asks for the size only (answered through requiredSize,
  // the call itself failing as the platform's does).
  virtual bool SetupDiGetDeviceInterfaceDetail(const SetupApi& api, DevInfoSet set,
                                               const DeviceInterfaceData& data,
                                               std::uint32_t detailSize, std::string* devicePath,
                                               std::uint32_t* requiredSize,
                                               DeviceInfoData* info) = 0;
  virtual bool SetupDiGetDeviceRegistryProperty(const SetupApi& api, DevInfoSet set,
                                                const DeviceInfoData& info, std::uint32_t property,
                                                std::uint8_t* buffer, std::uint32_t bufferSize) = 0;
  virtual bool SetupDiDestroyDeviceInfoList(const SetupApi& api, DevInfoSet set) = 0;

  // Length of the directory written into buffer (without its NUL); 0 on
  // failure; the size needed (with the NUL) when bufferSize is too small.
  virtual std::uint32_t GetWindowsDirectory(char* buffer, std::uint32_t bufferSize) = 0;

  virtual Handle CreateFile(const std::string& path, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition, std::uint32_t flags) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  // Synchronous request; the driver writes at most outputLength bytes.
  virtual bool DeviceIoControl(Handle handle, std::uint32_t code, const void* input,
                               std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                               std::uint32_t* bytesReturned) = 0;

  virtual std::uint32_t GetFileVersionInfoSize(const std::string& path) = 0;
  virtual bool GetFileVersionInfo(const std::string& path, std::uint32_t size, void* data) = 0;
  // The text under key in a block read above (size bytes).
  virtual bool VerQueryValue(const void* block, std::uint32_t size, const std::string& key,
                             std::string& value) = 0;
};

}  // namespace mgmt
