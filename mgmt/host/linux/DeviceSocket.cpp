#include "mgmt/host/linux/DeviceSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "mgmt/host/linux/DriverFrame.h"

namespace mgmt {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left));
    if (ready > 0) return (entry.revents & (events | POLLHUP | POLLERR)) != 0;
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool SendAll(int fd, const std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      data += sent;
      size -= static_cast<std::size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool ReceiveAll(int fd, std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  while (size > 0) {
    const ssize_t got = recv(fd, data, size, MSG_DONTWAIT);
    if (got > 0) {
      data += got;
      size -= static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLIN, deadline)) return false;
    } else {
      return false;  // 0: the driver went away
    }
  }
  return true;
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
}

bool DeviceSocket::Request(std::uint32_t code, const void* input, std::uint32_t inputLength,
                           void* output, std::uint32_t outputLength, std::uint32_t& bytesReturned,
                           std::chrono::milliseconds timeout) {
  bytesReturned = 0;
  if (inputLength > frame::kMaxFramePayload) return false;
  if (fd_ < 0 && !Connect()) return false;
  // The driver never needs more room than a frame carries.
  const std::uint32_t room = std::min(outputLength, frame::kMaxFramePayload);
  std::uint32_t result = frame::kRefused;
  if (!Exchange(code, input, inputLength, output, room, result, bytesReturned,
                Clock::now() + timeout)) {
    Close();
    bytesReturned = 0;
    return false;
  }
  return result == frame::kDone;
}

bool DeviceSocket::Exchange(std::uint32_t code, const void* input, std::uint32_t inputLength,
                            void* output, std::uint32_t outputRoom, std::uint32_t& result,
                            std::uint32_t& bytesReturned, Clock::time_point deadline) {
  std::vector<std::uint8_t> request(frame::kRequestHeaderSize + inputLength);
  frame::EncodeRequestHeader({code, inputLength, outputRoom}, request.data());
  if (inputLength > 0) std::memcpy(request.data() + frame::kRequestHeaderSize, input, inputLength);
  if (!SendAll(fd_, request.data(), request.size(), deadline)) return false;

  std::uint8_t header[frame::kReplyHeaderSize];
  if (!ReceiveAll(fd_, header, sizeof header, deadline)) return false;
  auto reply = frame::DecodeReplyHeader(header, outputRoom);
  if (!reply) return false;
  // Into a buffer of our own first: a reply cut short leaves the caller's untouched.
  std::vector<std::uint8_t> payload(reply->length);
  if (!ReceiveAll(fd_, payload.data(), payload.size(), deadline)) return false;
  if (!payload.empty()) std::memcpy(output, payload.data(), payload.size());
  result = reply->result;
  bytesReturned = reply->length;
  return true;
}

}  // namespace mgmt
