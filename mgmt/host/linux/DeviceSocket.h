// The client end of one driver socket: a device handle of the Linux host.
// Each request is one framed exchange that must finish within the timeout;
// a timeout or a malformed reply drops the connection (a late reply would
// otherwise answer the next request), and the next request connects anew.
// Not thread-safe; SIGPIPE is never raised.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace mgmt {

class DeviceSocket {
 public:
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
               std::chrono::milliseconds timeout);

 private:
  bool Exchange(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                std::uint32_t outputRoom, std::uint32_t& result, std::uint32_t& bytesReturned,
                std::chrono::steady_clock::time_point deadline);

  std::string socketPath_;
  int fd_ = -1;
};

}  // namespace mgmt
