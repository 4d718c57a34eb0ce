#include "mgmt/host/model/ModelJson.h"

#include <nlohmann/json.hpp>

namespace mgmt {
namespace {

using nlohmann::json;

// The registry's own nesting is shallower than the JSON's (two levels each).
constexpr int kMaxRegistryDepth = kMaxJsonDepth / 2 - 2;

// Deepest bracket nesting outside strings; the parser's own recursion and the
// value's destruction must never meet a hostile depth.
bool NestingWithin(const std::string& text, int limit) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

std::optional<std::string> Text(const json& object, const char* name) {
  auto it = object.find(name);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

std::uint32_t Number(const json& object, const char* name) {
  auto it = object.find(name);
  return it != object.end() && it->is_number_unsigned() ? it->get<std::uint32_t>() : 0;
}

bool Flag(const json& object, const char* name, bool fallback) {
  auto it = object.find(name);
  return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

std::vector<std::pair<std::string, std::string>> TextPairs(const json& object) {
  std::vector<std::pair<std::string, std::string>> pairs;
  if (!object.is_object()) return pairs;
  for (const auto& [name, value] : object.items())
    if (value.is_string()) pairs.emplace_back(name, value.get<std::string>());
  return pairs;
}

std::optional<ModelRegistryKey> ReadKey(const json& node, int depth) {
  if (!node.is_object() || depth > kMaxRegistryDepth) return std::nullopt;
  ModelRegistryKey key;
  key.name = Text(node, "name").value_or(std::string());
  if (key.name.size() > kMaxRegistryNameLength || key.name.find('\\') != std::string::npos)
    return std::nullopt;
  if (auto values = node.find("values"); values != node.end())
    for (auto& [name, text] : TextPairs(*values)) SetValue(key, name, text);
  if (auto keys = node.find("keys"); keys != node.end() && keys->is_array())
    for (const auto& child : *keys)
      if (auto sub = ReadKey(child, depth + 1); sub && !sub->name.empty()) {
        // Two sub-keys of one name would make enumeration and look-up disagree.
        if (!FindKey(key, sub->name)) key.subKeys.push_back(std::move(*sub));
      }
  return key;
}

json WriteKey(const ModelRegistryKey& key) {
  json node = json::object();
  node["name"] = key.name;
  json values = json::object();
  for (const auto& [name, text] : key.values) values[name] = text;
  node["values"] = values;
  json keys = json::array();
  for (const auto& sub : key.subKeys) keys.push_back(WriteKey(sub));
  node["keys"] = keys;
  return node;
}

void ReadVersion(const json& root, ModelMachine& machine) {
  auto it = root.find("version");
  if (it == root.end() || !it->is_object()) return;
  machine.version.platformId = Number(*it, "platform");
  machine.version.major = Number(*it, "major");
  machine.version.minor = Number(*it, "minor");
  machine.version.extendedRecord = Flag(*it, "extendedRecord", true);
  machine.version.plainRecord = Flag(*it, "plainRecord", true);
}

void ReadSetupApi(const json& root, ModelMachine& machine) {
  auto it = root.find("setupApi");
  if (it == root.end() || !it->is_object()) return;
  machine.setupApi = Flag(*it, "present", true);
  if (auto missing = it->find("missing"); missing != it->end() && missing->is_array())
    for (const auto& name : *missing)
      if (name.is_string()) machine.setupApiMissing.push_back(name.get<std::string>());
}

template <typename Entry, typename Reader>
void ReadList(const json& root, const char* name, std::vector<Entry>& list, Reader read) {
  auto it = root.find(name);
  if (it == root.end() || !it->is_array()) return;
  for (const auto& node : *it)
    if (node.is_object())
      if (auto entry = read(node)) list.push_back(std::move(*entry));
}

std::optional<ModelDeviceInterface> ReadInterface(const json& node) {
  auto classGuid = Text(node, "class");
  auto path = Text(node, "path");
  if (!classGuid || !path) return std::nullopt;
  return ModelDeviceInterface{*classGuid, *path, Text(node, "service"), Text(node, "description")};
}

std::optional<ModelFile> ReadFile(const json& node) {
  auto path = Text(node, "path");
  if (!path) return std::nullopt;
  ModelFile file{*path, {}};
  if (auto version = node.find("version"); version != node.end())
    file.version = TextPairs(*version);
  return file;
}

std::optional<ModelDevice> ReadDevice(const json& node) {
  auto path = Text(node, "path");
  auto socket = Text(node, "socket");
  if (!path || !socket) return std::nullopt;
  return ModelDevice{*path, *socket};
}

}  // namespace

ModelMachine ReadMachineJson(const std::string& text) {
  ModelMachine machine;
  if (!NestingWithin(text, kMaxJsonDepth)) return machine;
  const json root = json::parse(text, nullptr, false);
  if (!root.is_object()) return machine;
  ReadVersion(root, machine);
  if (auto directory = Text(root, "windowsDirectory")) machine.windowsDirectory = *directory;
  ReadSetupApi(root, machine);
  if (auto registry = root.find("registry"); registry != root.end())
    if (auto key = ReadKey(*registry, 0)) machine.localMachine = std::move(*key);
  ReadList(root, "interfaces", machine.interfaces, ReadInterface);
  ReadList(root, "files", machine.files, ReadFile);
  ReadList(root, "devices", machine.devices, ReadDevice);
  return machine;
}

std::string WriteMachineJson(const ModelMachine& machine) {
  json root = json::object();
  root["version"] = {{"platform", machine.version.platformId},
                     {"major", machine.version.major},
                     {"minor", machine.version.minor},
                     {"extendedRecord", machine.version.extendedRecord},
                     {"plainRecord", machine.version.plainRecord}};
  root["windowsDirectory"] = machine.windowsDirectory;
  root["setupApi"] = {{"present", machine.setupApi}, {"missing", machine.setupApiMissing}};
  root["registry"] = WriteKey(machine.localMachine);
  json interfaces = json::array();
  for (const auto& entry : machine.interfaces) {
    json node = {{"class", entry.classGuid}, {"path", entry.devicePath}};
    if (entry.service) node["service"] = *entry.service;
    if (entry.description) node["description"] = *entry.description;
    interfaces.push_back(node);
  }
  root["interfaces"] = interfaces;
  json files = json::array();
  for (const auto& file : machine.files) {
    json version = json::object();
    for (const auto& [key, value] : file.version) version[key] = value;
    files.push_back({{"path", file.path}, {"version", version}});
  }
  root["files"] = files;
  json devices = json::array();
  for (const auto& device : machine.devices)
    devices.push_back({{"path", device.path}, {"socket", device.socket}});
  root["devices"] = devices;
  return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace mgmt
