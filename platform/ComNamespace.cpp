#include "platform/ComNamespace.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>

namespace platform {
namespace {

std::mutex registryLock;
std::map<int, std::shared_ptr<RegisteredComDevice>>& Registry() {
  static std::map<int, std::shared_ptr<RegisteredComDevice>> registry;
  return registry;
}

}  // namespace

int ParseComName(const std::string& name) {
  std::string rest = name.starts_with("\\\\.\\") ? name.substr(4) : name;
  if (rest.size() < 4 || std::toupper(static_cast<unsigned char>(rest[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(rest[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(rest[2])) != 'M')
    return 0;
  const std::string digits = rest.substr(3);
  if (digits.size() > 9 || digits[0] == '0' ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return std::stoi(digits);
}

void RegisterComDevice(int comNumber, std::shared_ptr<RegisteredComDevice> device) {
  std::lock_guard guard(registryLock);
  if (device)
    Registry()[comNumber] = std::move(device);
  else
    Registry().erase(comNumber);
}

std::shared_ptr<RegisteredComDevice> FindRegisteredComDevice(int comNumber) {
  std::lock_guard guard(registryLock);
  auto it = Registry().find(comNumber);
  return it == Registry().end() ? nullptr : it->second;
}

}  // namespace platform
