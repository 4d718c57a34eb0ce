#include "bench/serial/BenchSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace bench {

BenchPty::BenchPty(int comNumber) : comNumber_(comNumber) {
  char pattern[] = "/tmp/serial-bench-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  std::filesystem::create_directories(root_ + "/dosdevices");
  setenv("QUOR_HOST_ROOT", root_.c_str(), 1);
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("cannot open a pseudo-terminal");
  slavePath_ = ptsname(master_);
  std::filesystem::create_symlink(slavePath_,
                                  root_ + "/dosdevices/com" + std::to_string(comNumber));
}

BenchPty::~BenchPty() {
  close(master_);
  std::error_code error;
  std::filesystem::remove_all(root_, error);
}

void BenchPty::MakeSlaveRaw() const {
  const int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL;
  tcsetattr(slave, TCSANOW, &t);
  close(slave);
}

void BenchPty::Drain() const {
  tcflush(master_, TCIOFLUSH);
  const int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave >= 0) {
    tcflush(slave, TCIOFLUSH);
    close(slave);
  }
}

Child::Child(const std::vector<std::string>& argv, int stdinFd, int stdoutFd, bool capture) {
  int pipeFds[2] = {-1, -1};
  if (capture && pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (stdinFd >= 0) dup2(stdinFd, 0);
    if (capture)
      dup2(pipeFds[1], 1);
    else if (stdoutFd >= 0)
      dup2(stdoutFd, 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (capture) {
    close(pipeFds[1]);
    readyPipe_ = pipeFds[0];
  }
}

std::string Child::ReadLine() {
  std::string line;
  char c = 0;
  while (readyPipe_ >= 0 && read(readyPipe_, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

ChildResult Child::Wait() {
  ChildResult result;
  rusage usage{};
  wait4(pid_, &result.status, 0, &usage);
  result.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                      usage.ru_stime.tv_usec / 1e6;
  result.wakeUps = usage.ru_nvcsw;
  if (readyPipe_ >= 0) close(readyPipe_);
  return result;
}

std::uint8_t StreamByte(std::size_t i) {
  return static_cast<std::uint8_t>(i * 131 + (i >> 13));
}

void WriteStream(int fd, std::size_t count) {
  std::vector<std::uint8_t> chunk(65536);
  for (std::size_t sent = 0; sent < count;) {
    const std::size_t size = std::min(chunk.size(), count - sent);
    for (std::size_t i = 0; i < size; ++i) chunk[i] = StreamByte(sent + i);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = write(fd, chunk.data() + done, size - done);
      if (n > 0)
        done += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EINTR && errno != EAGAIN)
        return;
    }
    sent += size;
  }
}

void SendPaced(std::size_t count, double bytesPerSecond,
               const std::function<bool(const std::uint8_t* block, std::size_t size)>& send) {
  constexpr std::size_t kBlock = 64;
  std::vector<std::uint8_t> block(kBlock, 'p');
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  const long stepNs = static_cast<long>(kBlock / bytesPerSecond * 1e9);
  for (std::size_t sent = 0; sent < count; sent += kBlock) {
    if (!send(block.data(), kBlock)) return;
    next.tv_nsec += stepNs;
    while (next.tv_nsec >= 1000000000) {
      next.tv_nsec -= 1000000000;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
}

void WritePaced(int fd, std::size_t count, double bytesPerSecond) {
  SendPaced(count, bytesPerSecond, [fd](const std::uint8_t* block, std::size_t size) {
    return write(fd, block, size) >= 0 || errno == EINTR;
  });
}

bool ReadCount(int fd, std::size_t count) {
  std::vector<std::uint8_t> buffer(65536);
  for (std::size_t got = 0; got < count;) {
    const ssize_t n = read(fd, buffer.data(), std::min(buffer.size(), count - got));
    if (n > 0)
      got += static_cast<std::size_t>(n);
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
      return false;
  }
  return true;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

Summary Summarise(std::vector<double> values) {
  Summary summary;
  if (values.empty()) return summary;
  std::sort(values.begin(), values.end());
  summary.median = values[values.size() / 2];
  summary.low = values.front();
  summary.high = values.back();
  return summary;
}

}  // namespace bench
