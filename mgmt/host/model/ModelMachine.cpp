#include "mgmt/host/model/ModelMachine.h"

#include <algorithm>
#include <cctype>

namespace mgmt {
namespace {

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

ModelRegistryKey& EnsureKey(ModelRegistryKey& root, const std::string& path) {
  ModelRegistryKey* key = &root;
  for (const auto& part : SplitPath(path)) {
    auto it = std::find_if(key->subKeys.begin(), key->subKeys.end(),
                           [&](const ModelRegistryKey& k) { return SameName(k.name, part); });
    if (it == key->subKeys.end()) {
      key->subKeys.push_back({part, {}, {}});
      key = &key->subKeys.back();
    } else {
      key = &*it;
    }
  }
  return *key;
}

const ModelRegistryKey* FindKey(const ModelRegistryKey& root, const std::string& path) {
  const ModelRegistryKey* key = &root;
  for (const auto& part : SplitPath(path)) {
    auto it = std::find_if(key->subKeys.begin(), key->subKeys.end(),
                           [&](const ModelRegistryKey& k) { return SameName(k.name, part); });
    if (it == key->subKeys.end()) return nullptr;
    key = &*it;
  }
  return key;
}

void SetValue(ModelRegistryKey& key, const std::string& name, const std::string& value) {
  for (auto& [existing, text] : key.values)
    if (SameName(existing, name)) {
      text = value;
      return;
    }
  key.values.emplace_back(name, value);
}

}  // namespace mgmt
