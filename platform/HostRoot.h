// The host root: the folder where orvalisd publishes host.json, its driver
// sockets with their status pages, and the COM links. One rule for the
// program, the shim and orvalisd. Header only, so the shim can use it without
// linking anything of the program. POSIX only: on Windows the real registry
// and devices stand in its place.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace platform {

constexpr char kComLinkFolderName[] = "dosdevices";  // comN -> the port's device

// $QUOR_HOST_ROOT, else $XDG_RUNTIME_DIR/quor, else /tmp/quor-<uid>; an empty
// variable counts as unset.
inline std::string HostRoot() {
  if (const char* root = std::getenv("QUOR_HOST_ROOT"); root && *root) return root;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string(runtime) + "/quor";
  return "/tmp/quor-" + std::to_string(getuid());
}

// Where the link of COM n goes: <root>/dosdevices/comN.
inline std::string ComLinkPath(const std::string& root, int comNumber) {
  return root + "/" + kComLinkFolderName + "/com" + std::to_string(comNumber);
}

// The shim's COM n (n >= 1) under root: the link <root>/dosdevices/comN when
// there is one, even a dangling one (its open then fails as the port's
// would), else the serial port /dev/ttyS<n-1>. The program numbers the
// machine's devices itself (platform/ComNamespace_posix.h).
inline std::string ComDevicePath(const std::string& root, int comNumber) {
  const std::string link = ComLinkPath(root, comNumber);
  struct stat info;
  if (lstat(link.c_str(), &info) == 0) return link;
  return "/dev/ttyS" + std::to_string(comNumber - 1);
}

}  // namespace platform
