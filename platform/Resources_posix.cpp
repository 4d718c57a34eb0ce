#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "platform/Resources.h"

namespace platform {
namespace {

std::string Upper(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return name;
}

// Function-local so registrations from other static initialisers find it built.
std::map<std::string, RawResource>& Registry() {
  static std::map<std::string, RawResource> registry;
  return registry;
}
std::mutex registryLock;

}  // namespace

RawResourceRegistration::RawResourceRegistration(const char* name, const unsigned char* data,
                                                 std::size_t size) {
  std::lock_guard guard(registryLock);
  Registry()[Upper(name)] = RawResource{data, size};
}

std::optional<RawResource> FindRawResource(const std::string& name) {
  std::lock_guard guard(registryLock);
  auto it = Registry().find(Upper(name));
  if (it == Registry().end()) return std::nullopt;
  return it->second;
}

}  // namespace platform
