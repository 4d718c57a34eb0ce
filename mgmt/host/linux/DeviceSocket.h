// The client end of one driver socket. Each request is one framed exchange
// that must finish by its deadline. A driver that lets the deadline pass is
// stalled: the connection is kept for the late reply, and every request fails
// at once until a look, at most once per kStallLookInterval, finds that reply
// come in (it is dropped) or the driver gone (the next request connects
// anew, to a new driver if one has started). A malformed reply, or a driver
// that closes or speaks unasked, drops the connection; the next request
// connects anew. Not thread-safe; SIGPIPE is never raised.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace mgmt {

constexpr std::chrono::seconds kStallLookInterval{1};

class DeviceSocket {
 public:
  using Clock = std::chrono::steady_clock;

  explicit DeviceSocket(std::string socketPath);
  DeviceSocket(const DeviceSocket&) = delete;
  DeviceSocket& operator=(const DeviceSocket&) = delete;
  // Leaves the connection open: device handles live until the process ends.
  ~DeviceSocket() = default;

  bool Connect();
  void Close();
  // The reply's bytes (at most outputLength) are copied to output only when
  // the whole reply arrived intact; bytesReturned counts them.
  bool Request(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
               std::uint32_t outputLength, std::uint32_t& bytesReturned,
               Clock::time_point deadline);

  bool Stalled() const { return stalled_; }
  // The board select the driver accepted last on this connection; none on a
  // new connection, or when a late reply left it unknown.
  const std::optional<std::string>& Selection() const { return selection_; }

 private:
  enum class Outcome { kAnswered, kLate, kBroken };
  Outcome Exchange(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                   std::uint32_t outputRoom, std::uint32_t& result, std::uint32_t& bytesReturned,
                   Clock::time_point deadline);
  // Whether a stalled driver answers again; looks at most once per interval.
  bool LookForLateReply();
  // Whether the driver closed the idle connection or wrote on it unasked.
  bool IdleConnectionSpoiled() const;

  std::string socketPath_;
  int fd_ = -1;
  bool stalled_ = false;
  Clock::time_point lastLook_;
  std::optional<std::string> selection_;
};

}  // namespace mgmt
