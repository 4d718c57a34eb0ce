#include "mgmt/host/model/HostModel.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "mgmt/ByteOrder.h"
#include "platform/VersionInfoBlock.h"

namespace mgmt {
namespace {

constexpr ModuleHandle kSetupApiModule = 0x5E70;
constexpr DevInfoSet kModelDeviceSet = 0x5E75;
constexpr std::array<const char*, 5> kSetupApiFunctions = {
    "SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailA",
    "SetupDiGetDeviceRegistryPropertyA", "SetupDiDestroyDeviceInfoList"};
// The fixed part of the platform's interface detail record before the path.
constexpr std::uint32_t kDetailHeaderSize = 4;

}  // namespace

std::string GuidText(const Guid& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1,
                guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3],
                guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return text;
}

HostModel::HostModel(ModelMachine machine) : machine_(std::move(machine)) {}

void HostModel::AttachDevice(const std::string& path, std::shared_ptr<DeviceModel> driver) {
  devices_.emplace_back(path, std::move(driver));
}

void HostModel::FailCall(const std::string& call, int nth) {
  failures_[call].push_back(nth);
}

bool HostModel::Injected(const std::string& call) {
  const int count = ++callCounts_[call];
  auto it = failures_.find(call);
  return it != failures_.end() &&
         std::find(it->second.begin(), it->second.end(), count) != it->second.end();
}

bool HostModel::GetVersionEx(std::uint32_t recordSize, OsVersion& version) {
  log_.versionRecordSizes.push_back(recordSize);
  if (Injected("GetVersionEx")) return false;
  const bool accepted = recordSize == kVersionRecordExtended ? machine_.version.extendedRecord
                        : recordSize == kVersionRecordPlain  ? machine_.version.plainRecord
                                                             : false;
  if (!accepted) return false;
  version = {machine_.version.platformId, machine_.version.major, machine_.version.minor};
  return true;
}

bool HostModel::RegOpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t, RegKey& key) {
  if (Injected("RegOpenKeyEx")) return false;
  const ModelRegistryKey* base = nullptr;
  if (parent == kLocalMachine) {
    base = &machine_.localMachine;
  } else if (auto it = keys_.find(parent); it != keys_.end()) {
    base = it->second;
  }
  const ModelRegistryKey* found = base ? FindKey(*base, subKey) : nullptr;
  if (!found) return false;
  key = nextKey_++;
  keys_[key] = found;
  ++log_.openKeys;
  return true;
}

bool HostModel::RegQueryInfoKey(RegKey key, RegKeyInfo& info) {
  if (Injected("RegQueryInfoKey")) return false;
  auto it = keys_.find(key);
  if (it == keys_.end()) return false;
  info = {};
  info.subKeys = static_cast<std::uint32_t>(it->second->subKeys.size());
  for (const auto& sub : it->second->subKeys)
    info.maxSubKeyLength =
        std::max(info.maxSubKeyLength, static_cast<std::uint32_t>(sub.name.size()));
  for (const auto& [name, text] : it->second->values)
    info.maxValueLength =
        std::max(info.maxValueLength, static_cast<std::uint32_t>(text.size() + 1));
  return true;
}

bool HostModel::RegEnumKeyEx(RegKey key, std::uint32_t index, char* name, std::uint32_t& nameSize) {
  if (Injected("RegEnumKeyEx")) return false;
  auto it = keys_.find(key);
  if (it == keys_.end() || index >= it->second->subKeys.size()) return false;
  const std::string& subName = it->second->subKeys[index].name;
  if (subName.size() + 1 > nameSize) return false;
  std::memcpy(name, subName.c_str(), subName.size() + 1);
  nameSize = static_cast<std::uint32_t>(subName.size());
  return true;
}

bool HostModel::RegQueryValueEx(RegKey key, const std::string& valueName, std::uint8_t* data,
                                std::uint32_t& size) {
  if (Injected("RegQueryValueEx")) return false;
  auto it = keys_.find(key);
  if (it == keys_.end()) return false;
  for (const auto& [name, text] : it->second->values) {
    if (!SameName(name, valueName)) continue;
    const auto needed = static_cast<std::uint32_t>(text.size() + 1);
    if (needed > size) {
      size = needed;
      return false;
    }
    std::memcpy(data, text.c_str(), needed);
    size = needed;
    return true;
  }
  return false;
}

bool HostModel::RegCloseKey(RegKey key) {
  if (keys_.erase(key) == 0) return false;
  --log_.openKeys;
  return true;
}

ModuleHandle HostModel::LoadLibrary(const std::string& name) {
  if (!machine_.setupApi || !SameName(name, "setupapi.dll")) return 0;
  ++log_.setupApiLoads;
  return kSetupApiModule;
}

ProcAddress HostModel::GetProcAddress(ModuleHandle module, const std::string& name) {
  if (module != kSetupApiModule) return 0;
  for (const auto& missing : machine_.setupApiMissing)
    if (missing == name) return 0;
  for (std::size_t i = 0; i < kSetupApiFunctions.size(); ++i)
    if (name == kSetupApiFunctions[i]) return i + 1;
  return 0;
}

bool HostModel::FreeLibrary(ModuleHandle module) {
  if (module != kSetupApiModule) return false;
  ++log_.setupApiFrees;
  return true;
}

DevInfoSet HostModel::SetupDiGetClassDevs(const SetupApi&, const Guid& interfaceClass,
                                          std::uint32_t flags) {
  log_.classDevsFlags.push_back(flags);
  if (Injected("SetupDiGetClassDevs")) return kInvalidDevInfoSet;
  classDevs_.clear();
  const std::string wanted = GuidText(interfaceClass);
  for (const auto& entry : machine_.interfaces)
    if (SameName(entry.classGuid, wanted)) classDevs_.push_back(&entry);
  return kModelDeviceSet;
}

bool HostModel::SetupDiEnumDeviceInterfaces(const SetupApi&, DevInfoSet set, const Guid&,
                                            std::uint32_t index, DeviceInterfaceData& data) {
  if (Injected("SetupDiEnumDeviceInterfaces")) return false;
  if (set != kModelDeviceSet || index >= classDevs_.size()) return false;
  PutU32(data.bytes.data(), 0, index);
  return true;
}

const ModelDeviceInterface* HostModel::InterfaceOf(const std::uint8_t* bytes) const {
  const std::uint32_t index = GetU32(bytes, 0);
  return index < classDevs_.size() ? classDevs_[index] : nullptr;
}

bool HostModel::SetupDiGetDeviceInterfaceDetail(const SetupApi&, DevInfoSet set,
                                                const DeviceInterfaceData& data,
                                                std::uint32_t detailSize, std::string* devicePath,
                                                std::uint32_t* requiredSize, DeviceInfoData* info) {
  if (Injected("SetupDiGetDeviceInterfaceDetail")) return false;
  const ModelDeviceInterface* entry =
      set == kModelDeviceSet ? InterfaceOf(data.bytes.data()) : nullptr;
  if (!entry) return false;
  const auto needed = static_cast<std::uint32_t>(kDetailHeaderSize + entry->devicePath.size() + 1);
  if (requiredSize) *requiredSize = needed;
  if (!devicePath || detailSize < needed) return false;
  *devicePath = entry->devicePath;
  if (info) info->bytes = data.bytes;
  return true;
}

bool HostModel::SetupDiGetDeviceRegistryProperty(const SetupApi&, DevInfoSet set,
                                                 const DeviceInfoData& info, std::uint32_t property,
                                                 std::uint8_t* buffer, std::uint32_t bufferSize) {
  if (Injected("SetupDiGetDeviceRegistryProperty")) return false;
  const ModelDeviceInterface* entry =
      set == kModelDeviceSet ? InterfaceOf(info.bytes.data()) : nullptr;
  if (!entry) return false;
  const std::optional<std::string>& text = property == kSpdrpService      ? entry->service
                                           : property == kSpdrpDeviceDesc ? entry->description
                                                                          : std::nullopt;
  if (!text || text->size() + 1 > bufferSize) return false;
  std::memcpy(buffer, text->c_str(), text->size() + 1);
  return true;
}

bool HostModel::SetupDiDestroyDeviceInfoList(const SetupApi&, DevInfoSet set) {
  if (set != kModelDeviceSet) return false;
  ++log_.deviceSetsDestroyed;
  classDevs_.clear();
  return true;
}

std::uint32_t HostModel::GetWindowsDirectory(char* buffer, std::uint32_t bufferSize) {
  if (Injected("GetWindowsDirectory") || machine_.windowsDirectory.empty()) return 0;
  const auto length = static_cast<std::uint32_t>(machine_.windowsDirectory.size());
  if (length + 1 > bufferSize) return length + 1;
  std::memcpy(buffer, machine_.windowsDirectory.c_str(), length + 1);
  return length;
}

Handle HostModel::CreateFile(const std::string& path, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t) {
  log_.createdFiles.push_back(path);
  if (Injected("CreateFile")) return kInvalidHandle;
  for (std::size_t i = 0; i < devices_.size(); ++i)
    if (SameName(devices_[i].first, path)) {
      const Handle handle = nextHandle_++;
      handles_[handle] = i;
      return handle;
    }
  return kInvalidHandle;
}

bool HostModel::CloseHandle(Handle handle) {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  log_.closedFiles.push_back(devices_[it->second].first);
  handles_.erase(it);
  return true;
}

bool HostModel::DeviceIoControl(Handle handle, std::uint32_t code, const void* input,
                                std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                                std::uint32_t* bytesReturned) {
  auto it = handles_.find(handle);
  const std::string path = it == handles_.end() ? std::string() : devices_[it->second].first;
  std::string inputBytes;
  if (input) inputBytes.assign(static_cast<const char*>(input), inputLength);
  log_.requests.push_back({path, code, input, inputLength, inputBytes, output, outputLength});
  if (Injected("DeviceIoControl") || it == handles_.end()) return false;
  const auto& driver = devices_[it->second].second;
  if (!driver) return false;
  std::uint32_t returned = 0;
  const bool done =
      driver->Control(handle, code, input, inputLength, output, outputLength, returned);
  if (bytesReturned) *bytesReturned = returned;
  return done;
}

const ModelFile* HostModel::FindFile(const std::string& path) const {
  for (const auto& file : machine_.files)
    if (SameName(file.path, path) && !file.version.empty()) return &file;
  return nullptr;
}

std::uint32_t HostModel::GetFileVersionInfoSize(const std::string& path) {
  if (Injected("GetFileVersionInfoSize")) return 0;
  const ModelFile* file = FindFile(path);
  return file ? static_cast<std::uint32_t>(platform::EncodeVersionBlock(file->version).size()) : 0;
}

bool HostModel::GetFileVersionInfo(const std::string& path, std::uint32_t size, void* data) {
  if (Injected("GetFileVersionInfo")) return false;
  const ModelFile* file = FindFile(path);
  if (!file) return false;
  const auto block = platform::EncodeVersionBlock(file->version);
  if (block.size() > size) return false;
  std::memcpy(data, block.data(), block.size());
  return true;
}

bool HostModel::VerQueryValue(const void* block, std::uint32_t size, const std::string& key,
                              std::string& value) {
  if (Injected("VerQueryValue")) return false;
  auto found = platform::QueryVersionBlock(block, size, key);
  if (!found) return false;
  value = *found;
  return true;
}

}  // namespace mgmt
