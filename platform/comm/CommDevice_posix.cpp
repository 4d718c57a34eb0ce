// The POSIX comm back-end: a terminal device driven through termios, with the
// Windows semantics of platform/comm/CommDevice.h.
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "platform/PortHolders.h"
#include "platform/comm/NativeComm.h"
#include "platform/comm/PosixErrors.h"
#include "platform/comm/PosixLine.h"

namespace platform {
namespace {

constexpr int kPollIntervalMs = 50;  // modem lines, counters and emulated flow
constexpr std::uint32_t kModemEvents = kEvCts | kEvDsr | kEvRlsd | kEvRing;
constexpr std::uint32_t kLineEvents = kEvBreak | kEvErr;

// Whether a process other than this one has the device open. Asked only of a
// device marked exclusive: a holder that died without clearing the mark
// leaves it behind on a line that stays alive (a pseudo-terminal whose
// master is held).
bool OpenInAnotherProcess(int fd) {
  if (access("/proc/self/fd", R_OK) != 0) return true;  // cannot tell: the mark stands
  const auto holders = FindPortHolders({"/proc/self/fd/" + std::to_string(fd)}, "").front();
  return std::any_of(holders.begin(), holders.end(),
                     [](const PortHolder& holder) { return holder.byDescriptor; });
}

void Consume(int eventFd) {
  std::uint64_t count;
  [[maybe_unused]] auto n = read(eventFd, &count, sizeof count);
}

void Signal(int eventFd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(eventFd, &one, sizeof one);
}

class PosixCommDevice final : public CommDevice {
 public:
  PosixCommDevice(int fd, int epoll, int waitWake, int writeWake, int inputEpoll, int inputWake)
      : fd_(fd),
        epoll_(epoll),
        waitWake_(waitWake),
        writeWake_(writeWake),
        inputEpoll_(inputEpoll),
        inputWake_(inputWake) {}

  ~PosixCommDevice() override {
    ioctl(fd_, TIOCNXCL);
    close(epoll_);
    close(waitWake_);
    close(writeWake_);
    close(inputEpoll_);
    close(inputWake_);
    close(fd_);
  }

  std::uint32_t SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) override {
    std::lock_guard guard(lock_);
    if (std::uint32_t error = Prepare()) return error;
    inQueue_ = inQueue;
    outQueue_ = outQueue;
    return kErrorSuccess;
  }

  std::uint32_t GetCommState(CommState& state) override {
    std::lock_guard guard(lock_);
    if (vanished_) return kErrorGenFailure;
    posix::LineSettings line;
    if (int error = posix::ReadLineSettings(fd_, line)) return Fail(error);
    state = emulated_;
    state.baudRate = line.baud;
    state.byteSize = line.dataBits;
    state.parity = line.parity;
    state.stopBits = !line.twoStopBits    ? kOneStopBit
                     : line.dataBits == 5 ? kOne5StopBits
                                          : kTwoStopBits;
    state.outxCtsFlow = line.rtsCts;
    if (line.rtsCts && state.rtsControl != kRtsControlToggle)
      state.rtsControl = kRtsControlHandshake;
    state.outX = line.xonOutput;
    state.inX = line.xoffInput;
    state.parityCheck = line.parityCheck;
    state.xonChar = line.xonChar;
    state.xoffChar = line.xoffChar;
    return kErrorSuccess;
  }

  std::uint32_t SetCommState(const CommState& state) override {
    const bool stopBitsValid = state.stopBits == kOneStopBit ||
                               (state.stopBits == kOne5StopBits && state.byteSize == 5) ||
                               (state.stopBits == kTwoStopBits && state.byteSize != 5);
    if (state.baudRate == 0 || state.byteSize < 5 || state.byteSize > 8 ||
        state.parity > kSpaceParity || !stopBitsValid || state.dtrControl > kDtrControlHandshake ||
        state.rtsControl > kRtsControlToggle)
      return kErrorInvalidParameter;
    std::lock_guard guard(lock_);
    if (std::uint32_t error = Prepare()) return error;
    posix::LineSettings line;
    line.baud = state.baudRate;
    line.dataBits = state.byteSize;
    line.parity = state.parity;
    line.twoStopBits = state.stopBits != kOneStopBit;
    line.rtsCts = state.outxCtsFlow || state.rtsControl == kRtsControlHandshake;
    line.xonOutput = state.outX;
    line.xoffInput = state.inX;
    line.parityCheck = state.parityCheck;
    line.xonChar = state.xonChar;
    line.xoffChar = state.xoffChar;
    if (int error = posix::WriteLineSettings(fd_, line))
      return error == EINVAL ? kErrorInvalidParameter : Fail(error);
    // A sender held by our XOFF is released when input XON/XOFF ends, or it
    // would stay stopped for good.
    if (inputHeld_ && emulated_.inX && !state.inX) ioctl(fd_, TCXONC, TCION);
    emulated_ = state;
    inputFlowEmulated_ = InputFlowEmulated();
    if (!inputFlowEmulated_) inputHeld_ = false;
    // The kernel drives RTS itself under CRTSCTS; DTR handshake is ours.
    if (state.dtrControl != kDtrControlHandshake)
      SetLine(TIOCM_DTR, state.dtrControl == kDtrControlEnable);
    else
      SetLine(TIOCM_DTR, !inputHeld_);
    if (state.rtsControl == kRtsControlEnable || state.rtsControl == kRtsControlHandshake)
      SetLine(TIOCM_RTS, true);
    else
      SetLine(TIOCM_RTS, false);
    return kErrorSuccess;
  }

  std::uint32_t SetCommTimeouts(const CommTimeouts& timeouts) override {
    // Reads here never block; only the Windows setting that matches is valid.
    if (timeouts.readInterval != CommTimeouts::kMaxTimeout || timeouts.readTotalMultiplier != 0 ||
        timeouts.readTotalConstant != 0 || timeouts.writeTotalMultiplier != 0 ||
        timeouts.writeTotalConstant != 0)
      return kErrorInvalidParameter;
    return vanished_ ? kErrorGenFailure : kErrorSuccess;
  }

  std::uint32_t SetCommMask(std::uint32_t mask) override {
    std::lock_guard guard(lock_);
    if (vanished_) return kErrorGenFailure;
    // Without kEvRxChar the event wait leaves arrivals to a reader's own
    // wait; it still sees a hang-up.
    const bool watchInput = (mask & kEvRxChar) != 0;
    if (watchInput != eventWaitWatchesInput_) {
      epoll_event input{};
      input.events = (watchInput ? std::uint32_t{EPOLLIN} : 0u) | EPOLLET;
      input.data.fd = fd_;
      if (epoll_ctl(epoll_, EPOLL_CTL_MOD, fd_, &input) != 0) return Fail(errno);
      eventWaitWatchesInput_ = watchInput;
    }
    mask_ = mask;
    pendingEvents_ &= mask;
    ++maskGeneration_;
    Signal(waitWake_);
    return kErrorSuccess;
  }

  bool CanWaitForInput() const override { return true; }
  std::uint32_t WaitForInput(bool watchInput, std::chrono::milliseconds timeout,
                             bool& readable) override;
  void WakeInputWait() override {
    // The waiter counts itself before its last look at the flag, so either
    // it sees this wake or this sees it waiting.
    if (!inputWakePending_.exchange(true) && inputWaiting_.load()) Signal(inputWake_);
  }
  bool CanWriteNow() const override { return true; }
  std::uint32_t WriteFileNow(const std::uint8_t* data, std::uint32_t size,
                             std::uint32_t& written) override;

  std::uint32_t WaitCommEvent(std::uint32_t& events) override;
  std::uint32_t ReadFile(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read) override;
  std::uint32_t WriteFile(const std::uint8_t* data, std::uint32_t size,
                          std::uint32_t& written) override;

  std::uint32_t ClearCommError(CommStatus& status) override {
    std::lock_guard guard(lock_);
    if (vanished_) return kErrorGenFailure;
    PollLines();
    int inQueue = 0;
    int outQueue = 0;
    if (ioctl(fd_, FIONREAD, &inQueue) != 0) return Fail(errno);
    if (ioctl(fd_, TIOCOUTQ, &outQueue) != 0) outQueue = 0;
    status.errors = errors_;
    status.inQueue = static_cast<std::uint32_t>(inQueue);
    status.outQueue = static_cast<std::uint32_t>(outQueue);
    errors_ = 0;
    return kErrorSuccess;
  }

  std::uint32_t GetCommModemStatus(std::uint32_t& status) override {
    std::lock_guard guard(lock_);
    if (vanished_) return kErrorGenFailure;
    status = 0;
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) {
      // Pseudo-terminals have no modem lines: they read as off.
      return errno == ENOTTY || errno == EINVAL ? kErrorSuccess : Fail(errno);
    }
    if (lines & TIOCM_CTS) status |= kMsCtsOn;
    if (lines & TIOCM_DSR) status |= kMsDsrOn;
    if (lines & TIOCM_RI) status |= kMsRingOn;
    if (lines & TIOCM_CD) status |= kMsRlsdOn;
    return kErrorSuccess;
  }

  std::uint32_t EscapeCommFunction(std::uint32_t function) override {
    std::lock_guard guard(lock_);
    if (vanished_) return kErrorGenFailure;
    int result = 0;
    switch (function) {
      case kSetDtr:
        return SetLine(TIOCM_DTR, true);
      case kClrDtr:
        return SetLine(TIOCM_DTR, false);
      case kSetRts:
        return SetLine(TIOCM_RTS, true);
      case kClrRts:
        return SetLine(TIOCM_RTS, false);
      case kSetBreak:
        result = ioctl(fd_, TIOCSBRK);
        break;
      case kClrBreak:
        result = ioctl(fd_, TIOCCBRK);
        break;
      case kSetXoff:
        result = ioctl(fd_, TCXONC, TCOOFF);
        break;
      case kSetXon:
        result = ioctl(fd_, TCXONC, TCOON);
        break;
      default:
        return kErrorInvalidParameter;
    }
    return result == 0 ? kErrorSuccess : Fail(errno);
  }

  std::uint32_t PurgeComm(std::uint32_t flags) override {
    std::lock_guard guard(lock_);
    if (vanished_) return kErrorGenFailure;
    if (flags & kPurgeTxAbort) Signal(writeWake_);
    if ((flags & kPurgeTxClear) && ioctl(fd_, TCFLSH, TCOFLUSH) != 0) return Fail(errno);
    if (flags & kPurgeRxClear) {
      if (ioctl(fd_, TCFLSH, TCIFLUSH) != 0) return Fail(errno);
      ReleaseInput();
    }
    return kErrorSuccess;
  }

 private:
  // Puts the line into raw mode at the first call that uses it, so that a
  // probe (open and close) leaves the device as it found it. Lock held.
  std::uint32_t Prepare() {
    if (vanished_) return kErrorGenFailure;
    if (prepared_) return kErrorSuccess;
    if (int error = posix::MakeRaw(fd_)) return Fail(error);
    hasModemLines_ = ioctl(fd_, TIOCMGET, &lastLines_) == 0;
    hasCounters_ = ioctl(fd_, TIOCGICOUNT, &lastCounts_) == 0;
    prepared_ = true;
    return kErrorSuccess;
  }

  // errno of a failed call to a Windows error; a device that has gone away
  // stays gone. Lock held.
  std::uint32_t Fail(int error) {
    if (posix::DeviceVanished(error)) {
      vanished_ = true;
      Signal(waitWake_);  // a wait in progress ends with the failure
    }
    return posix::WindowsError(error, posix::CommCall::kOperation);
  }

  // Lock held. A device without modem lines takes the change as done.
  std::uint32_t SetLine(int line, bool on) {
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return kErrorSuccess;
    return errno == ENOTTY || errno == EINVAL ? kErrorSuccess : Fail(errno);
  }

  int InQueue() {
    int count = 0;
    return ioctl(fd_, FIONREAD, &count) == 0 ? count : 0;
  }

  bool InputFlowEmulated() const {
    return emulated_.dtrControl == kDtrControlHandshake || emulated_.inX;
  }

  // Modem-line changes and error counters since the last look become events
  // and error bits; the counters also catch pulses shorter than the poll
  // interval. Lock held.
  void PollLines() {
    if (!prepared_) return;
    if (hasModemLines_) {
      int lines = 0;
      if (ioctl(fd_, TIOCMGET, &lines) == 0) {
        const int changed = lines ^ lastLines_;
        if (changed & TIOCM_CTS) pendingEvents_ |= kEvCts;
        if (changed & TIOCM_DSR) pendingEvents_ |= kEvDsr;
        if (changed & TIOCM_CD) pendingEvents_ |= kEvRlsd;
        if ((changed & TIOCM_RI) && (lines & TIOCM_RI)) pendingEvents_ |= kEvRing;
        lastLines_ = lines;
      }
    }
    if (hasCounters_) {
      serial_icounter_struct counts{};
      if (ioctl(fd_, TIOCGICOUNT, &counts) == 0) {
        if (counts.cts != lastCounts_.cts) pendingEvents_ |= kEvCts;
        if (counts.dsr != lastCounts_.dsr) pendingEvents_ |= kEvDsr;
        if (counts.dcd != lastCounts_.dcd) pendingEvents_ |= kEvRlsd;
        if (counts.rng != lastCounts_.rng) pendingEvents_ |= kEvRing;
        std::uint32_t errors = 0;
        if (counts.buf_overrun != lastCounts_.buf_overrun) errors |= kCeRxOver;
        if (counts.overrun != lastCounts_.overrun) errors |= kCeOverrun;
        if (counts.parity != lastCounts_.parity) errors |= kCeRxParity;
        if (counts.frame != lastCounts_.frame) errors |= kCeFrame;
        if (counts.brk != lastCounts_.brk) {
          errors |= kCeBreak;
          pendingEvents_ |= kEvBreak;
        }
        if (errors & ~kCeBreak) pendingEvents_ |= kEvErr;
        errors_ |= errors;
        lastCounts_ = counts;
      }
    }
    pendingEvents_ &= mask_;
  }

  // XOFF limits and DTR handshake have no kernel knob: hold the sender when
  // the device's input reaches the XOFF limit and release it at the XON limit.
  // Lock held.
  void ApplyInputFlow() {
    if (!InputFlowEmulated()) return;
    const std::uint32_t fill = static_cast<std::uint32_t>(InQueue());
    const std::uint32_t stopAt = inQueue_ > emulated_.xoffLim ? inQueue_ - emulated_.xoffLim : 0;
    if (!inputHeld_ && stopAt > 0 && fill >= stopAt) {
      inputHeld_ = true;
      if (emulated_.dtrControl == kDtrControlHandshake) SetLine(TIOCM_DTR, false);
      if (emulated_.inX) ioctl(fd_, TCXONC, TCIOFF);
    } else if (inputHeld_ && fill <= emulated_.xonLim) {
      ReleaseInput();
    }
  }

  void ReleaseInput() {
    if (!inputHeld_) return;
    inputHeld_ = false;
    if (emulated_.dtrControl == kDtrControlHandshake) SetLine(TIOCM_DTR, true);
    if (emulated_.inX) ioctl(fd_, TCXONC, TCION);
  }

  bool NeedsPolling() const {
    if ((mask_ & (kModemEvents | kLineEvents)) && (hasModemLines_ || hasCounters_)) return true;
    return InputFlowEmulated();
  }

  bool LineOn(int line) {
    int lines = 0;
    return ioctl(fd_, TIOCMGET, &lines) == 0 && (lines & line);
  }

  const int fd_;
  const int epoll_;      // the device (edge-triggered input) and waitWake_
  const int waitWake_;   // eventfd: SetCommMask wakes the event wait
  const int writeWake_;  // eventfd: a TX abort wakes the writer
  // The input wait's own epoll (registered once, so a wait costs no setup):
  // inputWake_ always, the device while the waiter watches input.
  const int inputEpoll_;
  const int inputWake_;        // eventfd: WakeInputWait wakes the input wait
  bool inputWatched_ = false;  // the input waiter's own
  std::atomic<bool> inputWakePending_{false};
  std::atomic<bool> inputWaiting_{false};
  std::mutex lock_;
  std::atomic<bool> vanished_{false};
  std::atomic<bool> prepared_{false};           // written under the lock
  std::atomic<bool> inputFlowEmulated_{false};  // InputFlowEmulated(), kept by SetCommState
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
  int lastLines_ = 0;
  serial_icounter_struct lastCounts_{};
  std::uint32_t mask_ = 0;
  bool eventWaitWatchesInput_ = true;  // as registered at open
  std::uint64_t maskGeneration_ = 0;
  std::uint32_t pendingEvents_ = 0;
  std::uint32_t errors_ = 0;
  bool inputHeld_ = false;
  std::uint32_t inQueue_ = 4096;
  std::uint32_t outQueue_ = 4096;
  CommState emulated_;
};

// Received data is watched edge-triggered: each arrival is one event, as on
// Windows, whether or not earlier bytes are still unread.
std::uint32_t PosixCommDevice::WaitCommEvent(std::uint32_t& events) {
  events = 0;
  std::unique_lock lock(lock_);
  if (vanished_) return kErrorGenFailure;
  if (mask_ == 0) return kErrorInvalidParameter;
  if (std::uint32_t error = Prepare()) return error;
  const std::uint64_t generation = maskGeneration_;
  for (;;) {
    PollLines();
    ApplyInputFlow();
    if (const std::uint32_t ready = pendingEvents_ & mask_) {
      pendingEvents_ &= ~ready;
      events = ready;
      return kErrorSuccess;
    }
    const int timeout = NeedsPolling() ? kPollIntervalMs : -1;
    lock.unlock();
    epoll_event ready[2];
    const int n = epoll_wait(epoll_, ready, 2, timeout);
    const int waitError = errno;
    lock.lock();
    if (n < 0 && waitError != EINTR) return Fail(waitError);
    bool arrived = false;
    bool hungUp = false;
    for (int i = 0; i < n; ++i) {
      if (ready[i].data.fd == waitWake_) {
        Consume(waitWake_);
      } else {
        arrived = arrived || (ready[i].events & EPOLLIN);
        hungUp = hungUp || (ready[i].events & (EPOLLHUP | EPOLLERR));
      }
    }
    if (maskGeneration_ != generation) return kErrorSuccess;  // SetCommMask: no events
    if (vanished_) return kErrorGenFailure;
    // A hung-up line may still hold bytes: they are read first, and the read
    // that finds the line gone makes the device vanish.
    if (hungUp) {
      if (InQueue() == 0) {
        vanished_ = true;
        return kErrorGenFailure;
      }
      arrived = true;
    }
    if (arrived) pendingEvents_ |= kEvRxChar & mask_;
  }
}

std::uint32_t PosixCommDevice::ReadFile(std::uint8_t* buffer, std::uint32_t size,
                                        std::uint32_t& read) {
  read = 0;
  // Once prepared, a read without emulated input flow takes no lock: it is
  // the dispatch thread's path for every arrival.
  if (!prepared_ || vanished_) {
    std::lock_guard guard(lock_);
    if (std::uint32_t error = Prepare()) return error;
  }
  if (size == 0) return kErrorSuccess;
  // The read runs unlocked: the event wait takes the lock as soon as bytes
  // arrive, and would otherwise sleep on it while they are read.
  const ssize_t n = ::read(fd_, buffer, size);
  const int readError = errno;
  if (n > 0) {
    read = static_cast<std::uint32_t>(n);
    if (inputFlowEmulated_) {
      std::lock_guard guard(lock_);
      ApplyInputFlow();
    }
    return kErrorSuccess;
  }
  std::lock_guard guard(lock_);
  if (n < 0 && (readError == EAGAIN || readError == EINTR)) return kErrorSuccess;
  return Fail(n == 0 ? EIO : readError);  // VMIN=1: a read of 0 is a hang-up
}

// Level-triggered: bytes left unread end the next wait at once. A hang-up
// reads as readable too, so that the read that finds it makes the device
// vanish; after that the wait fails at once while it watches input.
std::uint32_t PosixCommDevice::WaitForInput(bool watchInput, std::chrono::milliseconds timeout,
                                            bool& readable) {
  readable = false;
  if (watchInput && vanished_) return kErrorGenFailure;
  if (inputWakePending_.exchange(false)) return kErrorSuccess;
  inputWaiting_.store(true);
  if (inputWakePending_.exchange(false)) {
    inputWaiting_.store(false);
    return kErrorSuccess;
  }
  // An unwatched device is left out altogether: epoll would still report
  // its hang-up, and a full buffer would spin on it.
  if (watchInput != inputWatched_) {
    epoll_event input{};
    input.events = EPOLLIN;
    input.data.fd = fd_;
    if (epoll_ctl(inputEpoll_, watchInput ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, fd_, &input) == 0)
      inputWatched_ = watchInput;
  }
  epoll_event ready[2];
  const int n = epoll_wait(inputEpoll_, ready, 2,
                           timeout.count() < 0 ? -1 : static_cast<int>(timeout.count()));
  inputWaiting_.store(false);
  for (int i = 0; i < n; ++i) {
    if (ready[i].data.fd == inputWake_) {
      Consume(inputWake_);
      inputWakePending_.store(false);
    } else {
      readable = true;
    }
  }
  return kErrorSuccess;
}

std::uint32_t PosixCommDevice::WriteFileNow(const std::uint8_t* data, std::uint32_t size,
                                            std::uint32_t& written) {
  written = 0;
  {
    std::lock_guard guard(lock_);
    if (std::uint32_t error = Prepare()) return error;
    // Gated lines wait for the line in WriteFile.
    if (hasModemLines_ && (emulated_.rtsControl == kRtsControlToggle || emulated_.outxDsrFlow))
      return kErrorSuccess;
  }
  if (size == 0) return kErrorSuccess;
  const ssize_t n = write(fd_, data, size);
  if (n > 0) {
    written = static_cast<std::uint32_t>(n);
    return kErrorSuccess;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return kErrorSuccess;
  std::lock_guard guard(lock_);
  return Fail(n < 0 ? errno : EIO);
}

std::uint32_t PosixCommDevice::WriteFile(const std::uint8_t* data, std::uint32_t size,
                                         std::uint32_t& written) {
  written = 0;
  bool rtsToggle = false;
  bool dsrGate = false;
  {
    std::lock_guard guard(lock_);
    if (std::uint32_t error = Prepare()) return error;
    rtsToggle = emulated_.rtsControl == kRtsControlToggle && hasModemLines_;
    dsrGate = emulated_.outxDsrFlow && hasModemLines_;
    if (rtsToggle) SetLine(TIOCM_RTS, true);
  }
  std::uint32_t result = kErrorSuccess;
  while (written < size && result == kErrorSuccess) {
    const bool held = dsrGate && !LineOn(TIOCM_DSR);
    if (!held) {
      const ssize_t n = write(fd_, data + written, size - written);
      if (n < 0 && errno != EAGAIN && errno != EINTR) {
        std::lock_guard guard(lock_);
        result = Fail(errno);
        break;
      }
      if (n > 0) written += static_cast<std::uint32_t>(n);
      if (written == size) break;
      // A short write: the line is full, and writing again at once would
      // only be refused.
    }
    pollfd fds[2] = {{fd_, static_cast<short>(held ? 0 : POLLOUT), 0}, {writeWake_, POLLIN, 0}};
    poll(fds, 2, dsrGate ? kPollIntervalMs : -1);
    if (fds[1].revents & POLLIN) {
      Consume(writeWake_);
      result = kErrorOperationAborted;
    } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      std::lock_guard guard(lock_);
      result = Fail(EIO);
    } else if (!held && written > 0 && !rtsToggle) {
      // The line takes more: report what it took, so the caller refills
      // behind it and writes again with the ring's newest bytes.
      break;
    }
  }
  if (rtsToggle) {
    ioctl(fd_, TCSBRK, 1);  // drain, then let RTS fall
    std::lock_guard guard(lock_);
    SetLine(TIOCM_RTS, false);
  }
  return result;
}

}  // namespace

std::unique_ptr<CommDevice> OpenNativeCommDevice(int comNumber, const std::string& name,
                                                 std::uint32_t& error) {
  const std::string path = comNumber > 0 ? ResolveComPath(comNumber) : name;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = posix::WindowsError(errno, posix::CommCall::kOpen);
    return nullptr;
  }
  auto refuse = [&](std::uint32_t code) -> std::unique_ptr<CommDevice> {
    close(fd);
    error = code;
    return nullptr;
  };
  if (!isatty(fd)) return refuse(kErrorFileNotFound);
  // flock holds against every process, root included; TIOCEXCL refuses other
  // opens but not root's, so its flag means busy too, unless the holder that
  // set it is gone.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    return refuse(posix::WindowsError(errno, posix::CommCall::kOpen));
  int exclusive = 0;
  if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive && OpenInAnotherProcess(fd))
    return refuse(kErrorAccessDenied);
  if (ioctl(fd, TIOCEXCL) != 0) return refuse(posix::WindowsError(errno, posix::CommCall::kOpen));
  const int epoll = epoll_create1(EPOLL_CLOEXEC);
  const int waitWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int writeWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int inputEpoll = epoll_create1(EPOLL_CLOEXEC);
  const int inputWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event input{};
  input.events = EPOLLIN | EPOLLET;
  input.data.fd = fd;
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.fd = waitWake;
  epoll_event inputWakeEvent{};
  inputWakeEvent.events = EPOLLIN;
  inputWakeEvent.data.fd = inputWake;
  if (epoll < 0 || waitWake < 0 || writeWake < 0 || inputEpoll < 0 || inputWake < 0 ||
      epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &input) != 0 ||
      epoll_ctl(epoll, EPOLL_CTL_ADD, waitWake, &wake) != 0 ||
      epoll_ctl(inputEpoll, EPOLL_CTL_ADD, inputWake, &inputWakeEvent) != 0) {
    for (int made : {epoll, waitWake, writeWake, inputEpoll, inputWake})
      if (made >= 0) close(made);
    ioctl(fd, TIOCNXCL);
    return refuse(kErrorNotEnoughMemory);
  }
  error = kErrorSuccess;
  return std::make_unique<PosixCommDevice>(fd, epoll, waitWake, writeWake, inputEpoll, inputWake);
}

}  // namespace platform
