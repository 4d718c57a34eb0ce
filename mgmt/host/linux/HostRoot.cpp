#include "mgmt/host/linux/HostRoot.h"

#include <cctype>
#include <string_view>

namespace mgmt {

std::string StatusPageName(const std::string& socketName) {
  constexpr std::string_view kSocketSuffix = ".sock";
  const std::string_view name = socketName;
  const std::string_view stem =
      name.ends_with(kSocketSuffix) ? name.substr(0, name.size() - kSocketSuffix.size()) : name;
  return std::string(stem) + ".page";
}

bool IsSafeSocketName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

int ComNumberOfPath(const std::string& path) {
  constexpr char kPrefix[] = "\\\\.\\COM";
  constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
  if (path.size() <= kPrefixLength || path.size() > kPrefixLength + 3) return 0;
  for (std::size_t i = 0; i < kPrefixLength; ++i)
    if (std::toupper(static_cast<unsigned char>(path[i])) != kPrefix[i]) return 0;
  int number = 0;
  for (std::size_t i = kPrefixLength; i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9') return 0;
    number = number * 10 + (path[i] - '0');
  }
  return number >= 1 && number <= 256 && path[kPrefixLength] != '0' ? number : 0;
}

}  // namespace mgmt
