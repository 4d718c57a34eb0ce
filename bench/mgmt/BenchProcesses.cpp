#include "BenchProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/DriverFrame.h"

namespace bench {
namespace {

constexpr std::size_t kRequestSize = mgmt::frame::kRequestHeaderSize + 4;
constexpr std::size_t kReplySize = mgmt::frame::kReplyHeaderSize + MgmtPortStatusSize;

bool ReadAll(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  while (size > 0) {
    const ssize_t got = read(fd, bytes, size);
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  return write(fd, data, size) == static_cast<ssize_t>(size);
}

void Reap(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

BareEcho::BareEcho() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(fds[0]);
    std::uint8_t request[kRequestSize];
    const std::uint8_t reply[kReplySize] = {};
    while (ReadAll(fds[1], request, sizeof request) && WriteAll(fds[1], reply, sizeof reply)) {
    }
    _exit(0);
  }
  close(fds[1]);
  fd_ = fds[0];
}

BareEcho::~BareEcho() {
  if (fd_ >= 0) close(fd_);
  Reap(pid_);
}

bool BareEcho::RoundTrip() {
  const std::uint8_t request[kRequestSize] = {};
  std::uint8_t reply[kReplySize];
  return WriteAll(fd_, request, sizeof request) && ReadAll(fd_, reply, sizeof reply);
}

PortHolderProcess::PortHolderProcess(const std::string& path) {
  int commands[2], answers[2];
  if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(answers, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int fd = -1;
    char command;
    while (read(commands[0], &command, 1) == 1) {
      auto moment = Clock::now();
      if (command == 'o') {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) moment = Clock::time_point::min();
      } else if (fd >= 0) {
        close(fd);
        fd = -1;
      }
      if (!WriteAll(answers[1], &moment, sizeof moment)) break;
    }
    _exit(0);
  }
  close(commands[0]);
  close(answers[1]);
  commands_ = commands[1];
  answers_ = answers[0];
}

PortHolderProcess::~PortHolderProcess() {
  if (commands_ >= 0) close(commands_);
  if (answers_ >= 0) close(answers_);
  Reap(pid_);
}

void PortHolderProcess::Open() {
  WriteAll(commands_, "o", 1);
}

void PortHolderProcess::Close() {
  WriteAll(commands_, "c", 1);
}

Clock::time_point PortHolderProcess::TakeMoment() {
  Clock::time_point moment = Clock::time_point::min();
  if (!ReadAll(answers_, &moment, sizeof moment)) return Clock::time_point::min();
  return moment;
}

}  // namespace bench
