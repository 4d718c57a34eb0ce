#include "mgmt/Registry.h"

#include <cstring>
#include <vector>

namespace mgmt {

std::string TextUpToNul(const char* bytes, std::size_t size) {
  const void* nul = std::memchr(bytes, '\0', size);
  return std::string(bytes, nul ? static_cast<const char*>(nul) - bytes : size);
}

OpenKey::OpenKey(Host& host, RegKey parent, const std::string& path, std::uint32_t access)
    : host_(host) {
  open_ = host_.RegOpenKeyEx(parent, path, access, key_);
}

OpenKey::~OpenKey() {
  if (open_) host_.RegCloseKey(key_);
}

std::optional<RegKeyInfo> OpenKey::Info() const {
  RegKeyInfo info;
  if (!open_ || !host_.RegQueryInfoKey(key_, info)) return std::nullopt;
  return info;
}

std::optional<std::string> OpenKey::SubKeyName(const RegKeyInfo& info, std::uint32_t index) const {
  // Registry key names are at most 255 characters; a larger claim is damage.
  constexpr std::uint32_t kMaxKeyName = 255;
  if (!open_ || info.maxSubKeyLength > kMaxKeyName) return std::nullopt;
  std::vector<char> name(info.maxSubKeyLength + 1);
  std::uint32_t size = static_cast<std::uint32_t>(name.size());
  if (!host_.RegEnumKeyEx(key_, index, name.data(), size) || size >= name.size())
    return std::nullopt;
  return TextUpToNul(name.data(), size);
}

std::optional<std::string> OpenKey::Text(const std::string& valueName,
                                         std::uint32_t bufferSize) const {
  if (!open_) return std::nullopt;
  std::vector<std::uint8_t> data(bufferSize);
  std::uint32_t size = bufferSize;
  if (!host_.RegQueryValueEx(key_, valueName, data.data(), size) || size > bufferSize)
    return std::nullopt;
  return TextUpToNul(reinterpret_cast<const char*>(data.data()), size);
}

}  // namespace mgmt
