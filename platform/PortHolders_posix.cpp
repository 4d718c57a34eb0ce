#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

#include "platform/ComNamespace_posix.h"
#include "platform/PortHolders.h"

namespace platform {
namespace {

constexpr std::size_t kMaxLocksSize = 4 << 20;
constexpr std::size_t kMaxCommSize = 64;
constexpr std::size_t kMaxScanThreads = 4;
// Below this many processes a thread costs more than it saves.
constexpr std::size_t kProcessesPerThread = 64;

// Device number to the indexes of the devices asked about.
using DevicesByNumber = std::multimap<dev_t, std::size_t>;

// A device node as /proc/locks names it: the file system's device and the
// inode.
struct NodeKey {
  unsigned major;
  unsigned minor;
  ino_t inode;
  auto operator<=>(const NodeKey&) const = default;
};

// Reads a small file whole; non-blocking, so a FIFO planted in a fake tree
// cannot stall the caller.
std::string ReadSmallFile(const std::string& path, std::size_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  char buffer[4096];
  while (text.size() < limit) {
    const ssize_t got = read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
    if (got <= 0) break;
    text.append(buffer, std::size_t(got));
  }
  close(fd);
  return text;
}

bool IsPid(const char* name) {
  if (!*name) return false;
  for (const char* c = name; *c; ++c)
    if (*c < '0' || *c > '9') return false;
  return true;
}

// The pids that hold a lock on each node: "1: FLOCK ADVISORY WRITE 4242
// 00:1a:6 0 EOF"; "->" marks a waiter, which holds nothing.
std::multimap<NodeKey, int> LockHolders(const std::string& systemRoot) {
  std::multimap<NodeKey, int> holders;
  std::istringstream lines(ReadSmallFile(systemRoot + "/proc/locks", kMaxLocksSize));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string id, type, kind, mode, pid, node;
    if (!(fields >> id >> type) || type == "->") continue;
    if (!(fields >> kind >> mode >> pid >> node)) continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    char colon1 = 0, colon2 = 0;
    std::istringstream parts(node);
    if (!(parts >> std::hex >> major >> colon1 >> minor >> colon2 >> std::dec >> inode) ||
        colon1 != ':' || colon2 != ':')
      continue;
    const long number = std::strtol(pid.c_str(), nullptr, 10);
    holders.emplace(NodeKey{major, minor, ino_t(inode)}, number > 0 ? int(number) : 0);
  }
  return holders;
}

std::string UserName(uid_t uid) {
  passwd entry;
  passwd* found = nullptr;
  char buffer[1024];
  if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
  return std::to_string(uid);
}

void Describe(PortHolder& holder, const std::string& systemRoot) {
  if (holder.pid <= 0) return;
  const std::string folder = systemRoot + "/proc/" + std::to_string(holder.pid);
  std::string comm = ReadSmallFile(folder + "/comm", kMaxCommSize);
  if (!comm.empty() && comm.back() == '\n') comm.pop_back();
  holder.program = comm;
  struct stat info;
  if (stat(folder.c_str(), &info) == 0) {
    holder.uid = info.st_uid;
    holder.user = UserName(info.st_uid);
  }
}

std::vector<int> ProcessIds(int proc) {
  std::vector<int> pids;
  const int dup = fcntl(proc, F_DUPFD_CLOEXEC, 0);
  DIR* processes = dup < 0 ? nullptr : fdopendir(dup);
  if (!processes) {
    if (dup >= 0) close(dup);
    return pids;
  }
  while (const dirent* process = readdir(processes))
    if (IsPid(process->d_name)) pids.push_back(std::atoi(process->d_name));
  closedir(processes);
  return pids;
}

// (device index, pid) for each descriptor of pid that is one of the devices.
void ScanDescriptors(int proc, int pid, const DevicesByNumber& devices,
                     std::vector<std::pair<std::size_t, int>>& hits) {
  char fdFolder[32];
  std::snprintf(fdFolder, sizeof fdFolder, "%d/fd", pid);
  // Unreadable (another user's) or gone meanwhile: nothing to see.
  const int folder = openat(proc, fdFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* descriptors = folder < 0 ? nullptr : fdopendir(folder);
  if (!descriptors) {
    if (folder >= 0) close(folder);
    return;
  }
  while (const dirent* entry = readdir(descriptors)) {
    struct stat target;
    if (entry->d_name[0] == '.' || fstatat(folder, entry->d_name, &target, 0) != 0 ||
        !S_ISCHR(target.st_mode))
      continue;
    const auto [first, last] = devices.equal_range(target.st_rdev);
    for (auto it = first; it != last; ++it) hits.emplace_back(it->second, pid);
  }
  closedir(descriptors);
}

// Almost all of a scan is the kernel's work per process and descriptor, so
// the processes are shared out over the cores: with two, that halves the
// time to name a holder.
std::vector<std::pair<std::size_t, int>> DescriptorHolders(const std::string& procPath,
                                                           const DevicesByNumber& devices,
                                                           int self) {
  std::vector<std::pair<std::size_t, int>> hits;
  const int proc = open(procPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return hits;
  std::vector<int> pids = ProcessIds(proc);
  std::erase(pids, self);
  const std::size_t workers =
      std::max<std::size_t>(1, std::min({std::size_t(std::thread::hardware_concurrency()),
                                         kMaxScanThreads, pids.size() / kProcessesPerThread}));
  std::vector<std::vector<std::pair<std::size_t, int>>> shares(workers);
  auto scanShare = [&](std::size_t share) {
    for (std::size_t i = share; i < pids.size(); i += workers)
      ScanDescriptors(proc, pids[i], devices, shares[share]);
  };
  {
    std::vector<std::jthread> helpers;
    for (std::size_t share = 1; share < workers; ++share) helpers.emplace_back(scanShare, share);
    scanShare(0);
  }
  close(proc);
  for (auto& share : shares) hits.insert(hits.end(), share.begin(), share.end());
  return hits;
}

}  // namespace

std::vector<std::vector<PortHolder>> FindPortHolders(const std::vector<std::string>& devicePaths,
                                                     const std::string& systemRoot) {
  // Per device, its holders by pid.
  std::vector<std::map<int, PortHolder>> found(devicePaths.size());
  DevicesByNumber byDevice;
  std::multimap<NodeKey, std::size_t> byNode;
  for (std::size_t i = 0; i < devicePaths.size(); ++i) {
    struct stat info;
    if (devicePaths[i].empty() || stat(devicePaths[i].c_str(), &info) != 0) continue;
    if (S_ISCHR(info.st_mode)) byDevice.emplace(info.st_rdev, i);
    byNode.emplace(NodeKey{major(info.st_dev), minor(info.st_dev), info.st_ino}, i);
  }
  if (byNode.empty()) return std::vector<std::vector<PortHolder>>(devicePaths.size());
  const int self = getpid();

  // Reading /proc/locks waits for the kernel's lock list to quiesce (several
  // ms of sleep, not work), so it runs beside the descriptor scan.
  std::multimap<NodeKey, int> locks;
  std::jthread lockReader([&] { locks = LockHolders(systemRoot); });

  if (!byDevice.empty()) {
    for (const auto& [index, pid] : DescriptorHolders(systemRoot + "/proc", byDevice, self)) {
      PortHolder& holder = found[index][pid];
      holder.pid = pid;
      holder.byDescriptor = true;
    }
  }

  lockReader.join();
  for (const auto& [node, pid] : locks) {
    if (pid == self) continue;
    const auto [first, last] = byNode.equal_range(node);
    for (auto it = first; it != last; ++it) {
      PortHolder& holder = found[it->second][pid];
      holder.pid = pid;
      holder.byLock = true;
    }
  }

  std::vector<std::vector<PortHolder>> holders(devicePaths.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    for (auto& [pid, holder] : found[i]) {
      Describe(holder, systemRoot);
      holders[i].push_back(std::move(holder));
    }
  }
  return holders;
}

std::vector<PortHolder> FindComPortHolders(int comNumber) {
  return FindPortHolders({ResolveComPath(comNumber)}, SystemRoot()).front();
}

}  // namespace platform
