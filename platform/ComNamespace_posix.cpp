#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/ComNamespace.h"

namespace platform {

std::string HostRoot() {
  if (const char* root = std::getenv("QUOR_HOST_ROOT"); root && *root) return root;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string(runtime) + "/quor";
  return "/tmp/quor-" + std::to_string(getuid());
}

std::string ResolveComPath(int comNumber) {
  if (comNumber < 1) return {};
  const std::string link = HostRoot() + "/dosdevices/com" + std::to_string(comNumber);
  std::error_code error;
  if (std::filesystem::is_symlink(link, error) || std::filesystem::exists(link, error)) return link;
  return "/dev/ttyS" + std::to_string(comNumber - 1);
}

}  // namespace platform
