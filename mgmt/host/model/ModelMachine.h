// An in-memory Windows machine as the shim sees it: the version record, the
// local-machine registry, the device-setup library and its interfaces, the
// Windows directory, files with version blocks, and device paths. Plain data;
// HostModel serves it through the Host calls and ModelJson reads and writes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mgmt {

struct ModelVersion {
  std::uint32_t platformId = 0;  // 0: no family
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  bool extendedRecord = true;  // GetVersionEx accepts the 156-byte record
  bool plainRecord = true;     // ... and the 148-byte one
};

// Sub-keys keep their enumeration order; names compare without case.
struct ModelRegistryKey {
  std::string name;
  std::vector<ModelRegistryKey> subKeys;
  std::vector<std::pair<std::string, std::string>> values;  // text values
};

struct ModelDeviceInterface {
  std::string classGuid;  // "{A45BE448-...}"
  std::string devicePath;
  std::optional<std::string> service;
  std::optional<std::string> description;
};

struct ModelFile {
  std::string path;
  // Version block values by key ("\StringFileInfo\040904B0\ProductVersion");
  // none means the file has no version block.
  std::vector<std::pair<std::string, std::string>> version;
};

// A device path and, on the Linux host, the socket that serves it.
struct ModelDevice {
  std::string path;
  std::string socket;
};

struct ModelMachine {
  ModelVersion version;
  std::string windowsDirectory = "C:\\WINDOWS";
  bool setupApi = true;
  std::vector<std::string> setupApiMissing;  // functions the library lacks
  ModelRegistryKey localMachine;
  std::vector<ModelDeviceInterface> interfaces;
  std::vector<ModelFile> files;
  std::vector<ModelDevice> devices;
};

// Windows-style name comparison (ASCII, without case).
bool SameName(const std::string& a, const std::string& b);

// The key at a backslash-separated path below root, made when missing.
ModelRegistryKey& EnsureKey(ModelRegistryKey& root, const std::string& path);
// The key at path, or null.
const ModelRegistryKey* FindKey(const ModelRegistryKey& root, const std::string& path);
void SetValue(ModelRegistryKey& key, const std::string& name, const std::string& value);

}  // namespace mgmt
