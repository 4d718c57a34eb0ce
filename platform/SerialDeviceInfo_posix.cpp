#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "platform/SerialDeviceInfo.h"

namespace platform {
namespace {

constexpr std::size_t kMaxAttributeSize = 256;
constexpr int kUsbDeviceLevels = 4;  // a tty's device to its USB device, at most

// One line of a sysfs attribute; non-blocking, so a FIFO planted in a fake
// tree cannot stall the caller.
std::string ReadAttribute(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[kMaxAttributeSize];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  close(fd);
  if (got <= 0) return {};
  std::string text(buffer, std::size_t(got));
  return text.substr(0, text.find('\n'));
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string LinkTarget(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = readlink(path.c_str(), target, sizeof target);
  return length > 0 ? std::string(target, std::size_t(length)) : std::string();
}

std::string WithoutRoot(const std::string& path, const std::string& systemRoot) {
  const std::string root = systemRoot.empty() ? std::string() : RealPath(systemRoot);
  if (!root.empty() && path.starts_with(root + "/")) return path.substr(root.size());
  return path;
}

std::string ByIdName(dev_t device, const std::string& systemRoot) {
  const std::string folder = systemRoot + "/dev/serial/by-id";
  DIR* entries = opendir(folder.c_str());
  if (!entries) return {};
  std::string name;
  while (const dirent* entry = readdir(entries)) {
    struct stat target;
    // A link to a missing node fails here and is passed over.
    if (entry->d_name[0] != '.' && fstatat(dirfd(entries), entry->d_name, &target, 0) == 0 &&
        S_ISCHR(target.st_mode) && target.st_rdev == device) {
      name = entry->d_name;
      break;
    }
  }
  closedir(entries);
  return name;
}

void ReadUsbAttributes(const std::string& device, const std::string& systemRoot,
                       SerialDeviceInfo& info) {
  const std::string devices = RealPath(systemRoot + "/sys/devices");
  if (devices.empty()) return;
  std::filesystem::path folder = device;
  for (int level = 0; level <= kUsbDeviceLevels; ++level, folder = folder.parent_path()) {
    if (!folder.string().starts_with(devices + "/")) return;
    info.vendorId = ReadAttribute(folder / "idVendor");
    if (info.vendorId.empty()) continue;
    info.productId = ReadAttribute(folder / "idProduct");
    info.manufacturer = ReadAttribute(folder / "manufacturer");
    info.product = ReadAttribute(folder / "product");
    info.serialNumber = ReadAttribute(folder / "serial");
    return;
  }
}

}  // namespace

SerialDeviceInfo DescribeSerialDevice(const std::string& path, const std::string& systemRoot) {
  SerialDeviceInfo info;
  // A node the numbering found under /dev is named as found; a link of the
  // host root by where it leads.
  if (path.starts_with(systemRoot + "/dev/")) {
    info.node = path.substr(systemRoot.size());
  } else {
    const std::string resolved = RealPath(path);
    info.node = WithoutRoot(resolved.empty() ? LinkTarget(path) : resolved, systemRoot);
    if (info.node.empty()) info.node = path;
  }
  struct stat node;
  if (stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) return info;
  info.byId = ByIdName(node.st_rdev, systemRoot);
  const std::string device =
      RealPath(systemRoot + "/sys/dev/char/" + std::to_string(major(node.st_rdev)) + ":" +
               std::to_string(minor(node.st_rdev)) + "/device");
  if (device.empty()) return info;
  const std::string driver = LinkTarget(device + "/driver");
  if (!driver.empty()) info.driver = std::filesystem::path(driver).filename();
  ReadUsbAttributes(device, systemRoot, info);
  return info;
}

}  // namespace platform
