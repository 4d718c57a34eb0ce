#include "mgmt/host/linux/DeviceSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/DriverFrame.h"

namespace mgmt {
namespace {

using Clock = DeviceSocket::Clock;

bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    // Rounded up, so a wait never ends before its deadline.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left));
    if (ready > 0) return (entry.revents & (events | POLLHUP | POLLERR)) != 0;
    if (ready < 0 && errno != EINTR) return false;
  }
}

enum class Transfer { kDone, kTimedOut, kFailed };

Transfer SendAll(int fd, const std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      data += sent;
      size -= static_cast<std::size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, deadline)) return Transfer::kTimedOut;
    } else {
      return Transfer::kFailed;
    }
  }
  return Transfer::kDone;
}

// received counts what arrived, also when the deadline passed first.
Transfer ReceiveAll(int fd, std::uint8_t* data, std::size_t size, Clock::time_point deadline,
                    std::size_t& received) {
  received = 0;
  while (received < size) {
    const ssize_t got = recv(fd, data + received, size - received, MSG_DONTWAIT);
    if (got > 0) {
      received += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLIN, deadline)) return Transfer::kTimedOut;
    } else {
      return Transfer::kFailed;  // 0: the driver went away
    }
  }
  return Transfer::kDone;
}

}  // namespace

DeviceSocket::DeviceSocket(std::string socketPath) : socketPath_(std::move(socketPath)) {}

bool DeviceSocket::Connect() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath_.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  // A unix socket connects at once or not at all; EAGAIN (backlog full) is a refusal.
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return false;
  }
  Close();
  fd_ = fd;
  return true;
}

void DeviceSocket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  selection_.reset();
}

bool DeviceSocket::Request(std::uint32_t code, const void* input, std::uint32_t inputLength,
                           void* output, std::uint32_t outputLength, std::uint32_t& bytesReturned,
                           Clock::time_point deadline) {
  bytesReturned = 0;
  if (inputLength > frame::kMaxFramePayload) return false;
  if (stalled_ && !LookForLateReply()) return false;
  if (fd_ >= 0 && IdleConnectionSpoiled()) Close();
  if (fd_ < 0 && !Connect()) return false;
  // The driver never needs more room than a frame carries.
  const std::uint32_t room = std::min(outputLength, frame::kMaxFramePayload);
  std::uint32_t result = frame::kRefused;
  switch (Exchange(code, input, inputLength, output, room, result, bytesReturned, deadline)) {
    case Outcome::kAnswered:
      break;
    case Outcome::kLate:
      stalled_ = true;
      lastLook_ = Clock::now();
      bytesReturned = 0;
      return false;
    case Outcome::kBroken:
      Close();
      bytesReturned = 0;
      return false;
  }
  if (code == IOCTL_BOARD_SELECT && result == frame::kDone)
    selection_.emplace(static_cast<const char*>(input), inputLength);
  return result == frame::kDone;
}

DeviceSocket::Outcome DeviceSocket::Exchange(std::uint32_t code, const void* input,
                                             std::uint32_t inputLength, void* output,
                                             std::uint32_t outputRoom, std::uint32_t& result,
                                             std::uint32_t& bytesReturned,
                                             Clock::time_point deadline) {
  std::vector<std::uint8_t> request(frame::kRequestHeaderSize + inputLength);
  frame::EncodeRequestHeader({code, inputLength, outputRoom}, request.data());
  if (inputLength > 0) std::memcpy(request.data() + frame::kRequestHeaderSize, input, inputLength);
  // A frame cut off by the deadline cannot be finished later: the connection
  // goes, and the driver still counts as stalled.
  const Transfer sent = SendAll(fd_, request.data(), request.size(), deadline);
  if (sent != Transfer::kDone) {
    if (sent == Transfer::kTimedOut) {
      stalled_ = true;
      lastLook_ = Clock::now();
    }
    return Outcome::kBroken;
  }

  std::uint8_t header[frame::kReplyHeaderSize];
  std::size_t received = 0;
  const Transfer got = ReceiveAll(fd_, header, sizeof header, deadline, received);
  if (got == Transfer::kTimedOut && received == 0) return Outcome::kLate;
  if (got != Transfer::kDone) {
    if (got == Transfer::kTimedOut) {
      stalled_ = true;
      lastLook_ = Clock::now();
    }
    return Outcome::kBroken;
  }
  auto reply = frame::DecodeReplyHeader(header, outputRoom);
  if (!reply) return Outcome::kBroken;
  // Into a buffer of our own first: a reply cut short leaves the caller's untouched.
  std::vector<std::uint8_t> payload(reply->length);
  if (ReceiveAll(fd_, payload.data(), payload.size(), deadline, received) != Transfer::kDone)
    return Outcome::kBroken;
  if (!payload.empty()) std::memcpy(output, payload.data(), payload.size());
  result = reply->result;
  bytesReturned = reply->length;
  return Outcome::kAnswered;
}

bool DeviceSocket::LookForLateReply() {
  const auto now = Clock::now();
  if (now - lastLook_ < kStallLookInterval) return false;
  lastLook_ = now;
  if (fd_ < 0) {
    // Nothing to look at: let one request find out.
    stalled_ = false;
    return true;
  }
  std::uint8_t header[frame::kReplyHeaderSize];
  const ssize_t peeked = recv(fd_, header, sizeof header, MSG_PEEK | MSG_DONTWAIT);
  if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return false;
  if (peeked == static_cast<ssize_t>(sizeof header)) {
    auto reply = frame::DecodeReplyHeader(header, frame::kMaxFramePayload);
    int waiting = 0;
    if (reply && ioctl(fd_, FIONREAD, &waiting) == 0 &&
        static_cast<std::size_t>(waiting) < sizeof header + reply->length)
      return false;  // the rest is on its way
    if (reply) {
      std::vector<std::uint8_t> late(sizeof header + reply->length);
      if (recv(fd_, late.data(), late.size(), MSG_DONTWAIT) == static_cast<ssize_t>(late.size())) {
        // Whatever that reply was (a select?), the driver's choice is unknown now.
        selection_.reset();
        stalled_ = false;
        return true;
      }
    }
  } else if (peeked > 0) {
    return false;  // part of a header: the rest is on its way
  }
  // Gone, or a reply not worth waiting for: connect anew.
  Close();
  stalled_ = false;
  return true;
}

bool DeviceSocket::IdleConnectionSpoiled() const {
  pollfd entry{fd_, POLLIN, 0};
  return poll(&entry, 1, 0) != 0;
}

}  // namespace mgmt
