#include "platform/ComNamespace_posix.h"

#include <sys/stat.h>

#include <mutex>
#include <set>

#include "platform/HostRoot.h"

namespace platform {
namespace {

// The families in the order Wine numbers them.
constexpr const char* kDeviceFamilies[] = {"ttyS", "ttyUSB", "ttyACM"};

struct Numbering {
  std::string systemRoot;
  std::string hostRoot;
  std::vector<std::string> paths;
  bool done = false;
};

std::mutex numberingLock;
Numbering& CurrentNumbering() {
  static Numbering numbering;
  return numbering;
}

// COM n's numbered device, numbered once per host and system root.
std::string NumberedPath(const std::string& hostRoot, int comNumber) {
  std::lock_guard guard(numberingLock);
  Numbering& numbering = CurrentNumbering();
  if (!numbering.done || numbering.hostRoot != hostRoot) {
    numbering.paths = NumberComDevices(numbering.systemRoot, hostRoot);
    numbering.hostRoot = hostRoot;
    numbering.done = true;
  }
  return numbering.paths.at(std::size_t(comNumber));
}

}  // namespace

std::string SystemRoot() {
  std::lock_guard guard(numberingLock);
  return CurrentNumbering().systemRoot;
}

void SetSystemRoot(const std::string& root) {
  std::lock_guard guard(numberingLock);
  CurrentNumbering() = Numbering{root, {}, {}, false};
}

std::vector<std::string> NumberComDevices(const std::string& systemRoot,
                                          const std::string& hostRoot) {
  std::vector<std::string> paths(kMaxComNumber + 1);
  std::set<dev_t> linked;
  for (int n = 1; n <= kMaxComNumber; ++n) {
    const std::string link = ComLinkPath(hostRoot, n);
    struct stat info;
    if (lstat(link.c_str(), &info) != 0) continue;
    paths[std::size_t(n)] = link;
    if (stat(link.c_str(), &info) == 0 && S_ISCHR(info.st_mode)) linked.insert(info.st_rdev);
  }
  std::size_t next = 1;
  for (const char* family : kDeviceFamilies) {
    for (int index = 0;; ++index) {
      const std::string node = systemRoot + "/dev/" + family + std::to_string(index);
      struct stat info;
      if (stat(node.c_str(), &info) != 0) break;
      if (S_ISCHR(info.st_mode) && linked.contains(info.st_rdev)) continue;
      while (next < paths.size() && !paths[next].empty()) ++next;
      if (next == paths.size()) return paths;
      paths[next] = node;
    }
  }
  return paths;
}

std::string ResolveComPath(int comNumber) {
  if (comNumber < 1) return {};
  const std::string hostRoot = HostRoot();
  const std::string link = ComLinkPath(hostRoot, comNumber);
  struct stat info;
  if (lstat(link.c_str(), &info) == 0) return link;
  if (comNumber > kMaxComNumber) return {};
  return NumberedPath(hostRoot, comNumber);
}

}  // namespace platform
