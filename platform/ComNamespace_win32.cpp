#include <cstdlib>

#include "platform/ComNamespace.h"

namespace platform {

std::string HostRoot() {
  if (const char* root = std::getenv("QUOR_HOST_ROOT"); root && *root) return root;
  return {};
}

std::string ResolveComPath(int comNumber) {
  if (comNumber < 1) return {};
  return "\\\\.\\COM" + std::to_string(comNumber);
}

}  // namespace platform
