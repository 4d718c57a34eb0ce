#include "driver/HostRootFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "mgmt/host/linux/HostRoot.h"

namespace orvalisd {
namespace {

constexpr char kLockName[] = "orvalisd.lock";

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// A folder of ours with exactly mode; made when missing.
bool MakePrivateFolder(const std::string& path, mode_t mode, std::string& error) {
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    error = SystemError("cannot make " + path);
    return false;
  }
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
    error = path + " is not a folder of this user";
    return false;
  }
  if (chmod(path.c_str(), mode) != 0) {
    error = SystemError("cannot set the mode of " + path);
    return false;
  }
  return true;
}

std::string ReadLink(const std::string& path) {
  char target[4096];
  const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

// Sockets and status pages (and pages never named) of an orvalisd that died.
void RemoveStaleFiles(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 5 &&
        (name.ends_with(".sock") || name.ends_with(".page") || name.ends_with(".page.tmp")))
      unlink((folder + "/" + name).c_str());
  }
  closedir(dir);
}

}  // namespace

std::unique_ptr<HostRootFiles> HostRootFiles::Claim(const std::string& root, std::string& error) {
  std::error_code ignored;
  std::filesystem::create_directories(root, ignored);
  const std::string socketFolder = root + "/" + mgmt::kSocketFolderName;
  if (!MakePrivateFolder(socketFolder, 0700, error)) return nullptr;
  const std::string lockPath = socketFolder + "/" + kLockName;
  const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd < 0) {
    error = SystemError("cannot open " + lockPath);
    return nullptr;
  }
  // The kernel drops the lock when its holder dies, so a held lock means a live server.
  if (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    char pid[32] = {};
    const ssize_t got = pread(lockFd, pid, sizeof pid - 1, 0);
    error = "another orvalisd (pid " + std::string(pid, got > 0 ? std::strcspn(pid, "\n") : 0) +
            ") serves " + root;
    close(lockFd);
    return nullptr;
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(lockFd, 0) != 0 || pwrite(lockFd, pid.data(), pid.size(), 0) < 0) {
    error = SystemError("cannot write " + lockPath);
    close(lockFd);
    return nullptr;
  }
  RemoveStaleFiles(socketFolder);
  const std::string linkFolder = root + "/" + mgmt::kComLinkFolderName;
  if (mkdir(linkFolder.c_str(), 0755) != 0 && errno != EEXIST) {
    error = SystemError("cannot make " + linkFolder);
    close(lockFd);
    return nullptr;
  }
  return std::unique_ptr<HostRootFiles>(new HostRootFiles(root, lockFd));
}

HostRootFiles::HostRootFiles(std::string root, int lockFd)
    : root_(std::move(root)), lockFd_(lockFd) {}

HostRootFiles::~HostRootFiles() {
  close(lockFd_);
}

std::string HostRootFiles::SocketPath(const std::string& name) const {
  return root_ + "/" + mgmt::kSocketFolderName + "/" + name;
}

std::string HostRootFiles::ComLinkPath(int comNumber) const {
  return root_ + "/" + mgmt::kComLinkFolderName + "/com" + std::to_string(comNumber);
}

bool HostRootFiles::LinkPort(int comNumber, const std::string& target, std::string& error) {
  const std::string link = ComLinkPath(comNumber);
  struct stat info;
  if (lstat(link.c_str(), &info) == 0) {
    const std::string old = S_ISLNK(info.st_mode) ? ReadLink(link) : std::string();
    if (!old.starts_with("/dev/pts/")) {
      error = "COM" + std::to_string(comNumber) + " is already taken by " + link +
              (old.empty() ? std::string() : " -> " + old) + "; choose another --first-com";
      return false;
    }
    unlink(link.c_str());
  }
  if (symlink(target.c_str(), link.c_str()) != 0) {
    error = SystemError("cannot link " + link);
    return false;
  }
  links_.emplace_back(link, target);
  return true;
}

int HostRootFiles::Listen(const std::string& name, std::string& error) {
  const std::string path = SocketPath(name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error = "the socket path " + path + " is too long for a unix socket; use a shorter --root";
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      chmod(path.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
    error = SystemError("cannot listen on " + path);
    if (fd >= 0) close(fd);
    return -1;
  }
  sockets_.push_back(path);
  return fd;
}

std::string HostRootFiles::ClaimStatusPage(const std::string& socketName) {
  const std::string path = SocketPath(mgmt::StatusPageName(socketName));
  sockets_.push_back(path);
  return path;
}

bool HostRootFiles::PublishHostJson(const std::string& text, std::string& error) {
  const std::string path = root_ + "/" + mgmt::kHostJsonName;
  const std::string temporary = path + "." + std::to_string(getpid()) + ".tmp";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool written =
      fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) written = fsync(fd) == 0 && written;
  if (fd >= 0) close(fd);
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    error = SystemError("cannot write " + path);
    unlink(temporary.c_str());
    return false;
  }
  published_ = true;
  return true;
}

void HostRootFiles::RemoveAll() {
  if (published_) unlink((root_ + "/" + mgmt::kHostJsonName).c_str());
  published_ = false;
  for (const auto& path : sockets_) unlink(path.c_str());
  sockets_.clear();
  // Only links that still point where we put them: a user may have replaced one.
  for (const auto& [link, target] : links_)
    if (ReadLink(link) == target) unlink(link.c_str());
  links_.clear();
  const std::string socketFolder = root_ + "/" + mgmt::kSocketFolderName;
  unlink((socketFolder + "/" + kLockName).c_str());
  rmdir(socketFolder.c_str());
  rmdir((root_ + "/" + mgmt::kComLinkFolderName).c_str());
}

}  // namespace orvalisd
