#include "platform/ComNamespace.h"

namespace platform {

std::string ResolveComPath(int comNumber) {
  if (comNumber < 1) return {};
  return "\\\\.\\COM" + std::to_string(comNumber);
}

}  // namespace platform
