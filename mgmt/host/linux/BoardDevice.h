// One device handle of the Linux host: a board driver's socket and, when
// orvalisd publishes one, the socket's status page.
//
// While the page is fresh, port status and counters are read from it without
// a request, and board selects (9x family) are answered from its board table;
// the driver is told the select only before a request that goes to it. A
// stale page means a driver that does not answer: every request fails at
// once until it beats again. While no fresh page is mapped, the page's path
// is looked at again at most once per kStallLookInterval, so a page that
// appears later, or a new orvalisd's page, is taken up. Without a page every
// request goes to the socket, whose own stall rule applies. Every request is
// over within kRequestTimeout. One thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "mgmt/host/linux/DeviceSocket.h"
#include "mgmt/host/linux/StatusPageView.h"

namespace mgmt {

// A request that gets no answer within this fails (a caller's limit is 100 ms).
constexpr std::chrono::milliseconds kRequestTimeout{80};

class BoardDevice {
 public:
  BoardDevice(std::string socketPath, std::string pagePath);

  // Connects to the driver; maps the page when there is one.
  bool Open();
  void Close();
  bool Control(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
               std::uint32_t outputLength, std::uint32_t& bytesReturned);

 private:
  // The page's answer, or none when the request is one for the driver.
  std::optional<bool> AnswerFromPage(std::uint32_t code, const void* input,
                                     std::uint32_t inputLength, void* output,
                                     std::uint32_t outputLength, std::uint32_t& bytesReturned);
  bool AskDriver(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                 std::uint32_t outputLength, std::uint32_t& bytesReturned);
  // The page, fresh or not, after a look at its path when one is due.
  void LookForPage(std::uint64_t now);

  DeviceSocket socket_;
  std::string pagePath_;
  std::unique_ptr<StatusPageView> page_;
  std::optional<std::uint64_t> lastPageLook_;
  std::optional<std::string> selection_;  // the last select accepted
};

}  // namespace mgmt
