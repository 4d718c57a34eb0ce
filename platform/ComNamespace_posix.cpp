#include "platform/ComNamespace.h"
#include "platform/HostRoot.h"

namespace platform {

std::string ResolveComPath(int comNumber) {
  if (comNumber < 1) return {};
  return ComDevicePath(HostRoot(), comNumber);
}

}  // namespace platform
