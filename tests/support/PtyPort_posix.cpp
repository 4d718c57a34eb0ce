#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include "tests/support/PtyPort.h"

namespace support {

ScopedHostRoot::ScopedHostRoot() {
  char pattern[] = "/tmp/serial-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  std::filesystem::create_directories(path_ + "/dosdevices");
  if (const char* previous = getenv("QUOR_HOST_ROOT")) {
    previous_ = previous;
    hadPrevious_ = true;
  }
  setenv("QUOR_HOST_ROOT", path_.c_str(), 1);
}

ScopedHostRoot::~ScopedHostRoot() {
  if (hadPrevious_)
    setenv("QUOR_HOST_ROOT", previous_.c_str(), 1);
  else
    unsetenv("QUOR_HOST_ROOT");
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

PtyPort::PtyPort(const ScopedHostRoot& root, int comNumber) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("cannot open a pseudo-terminal");
  slavePath_ = ptsname(master_);
  link_ = root.Path() + "/dosdevices/com" + std::to_string(comNumber);
  std::filesystem::create_symlink(slavePath_, link_);
}

PtyPort::~PtyPort() {
  HangUp();
  std::error_code error;
  std::filesystem::remove(link_, error);
}

void PtyPort::Send(const std::vector<std::uint8_t>& bytes) const {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      throw std::runtime_error("pty write failed");
    }
  }
}

void PtyPort::Send(const std::string& text) const {
  Send(std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> PtyPort::Receive(std::size_t count,
                                           std::chrono::milliseconds timeout) const {
  std::vector<std::uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::uint8_t buffer[4096];
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    if (n <= 0 && errno != EINTR && errno != EAGAIN) break;
  }
  return bytes;
}

void PtyPort::HangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

}  // namespace support
