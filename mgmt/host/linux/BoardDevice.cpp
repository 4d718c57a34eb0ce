#include "mgmt/host/linux/BoardDevice.h"

#include <cstring>

#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/PortRequest.h"

namespace mgmt {
namespace {

constexpr auto kPageLookNanos = static_cast<std::uint64_t>(
    std::chrono::duration_cast<std::chrono::nanoseconds>(kStallLookInterval).count());

std::string SelectText(const void* input, std::uint32_t inputLength) {
  return inputLength ? std::string(static_cast<const char*>(input), inputLength) : std::string();
}

}  // namespace

BoardDevice::BoardDevice(std::string socketPath, std::string pagePath)
    : socket_(std::move(socketPath)), pagePath_(std::move(pagePath)) {}

bool BoardDevice::Open() {
  if (!socket_.Connect()) return false;
  LookForPage(status_page::MonotonicNanos());
  return true;
}

void BoardDevice::Close() {
  socket_.Close();
  page_.reset();
}

bool BoardDevice::Control(std::uint32_t code, const void* input, std::uint32_t inputLength,
                          void* output, std::uint32_t outputLength, std::uint32_t& bytesReturned) {
  bytesReturned = 0;
  const std::uint64_t now = status_page::MonotonicNanos();
  if (!page_ || !page_->Fresh(now)) LookForPage(now);
  if (page_) {
    // Its writer stopped beating: the driver does not answer.
    if (!page_->Fresh(now)) return false;
    if (auto answer = AnswerFromPage(code, input, inputLength, output, outputLength, bytesReturned))
      return *answer;
  }
  return AskDriver(code, input, inputLength, output, outputLength, bytesReturned);
}

void BoardDevice::LookForPage(std::uint64_t now) {
  if (lastPageLook_ && now - *lastPageLook_ < kPageLookNanos) return;
  lastPageLook_ = now;
  auto page = StatusPageView::Open(pagePath_);
  if (!page || (page_ && page->SameFile(*page_))) return;
  // A page of a new orvalisd: its sockets are new too.
  if (page_) socket_.Close();
  page_ = std::move(page);
}

std::optional<bool> BoardDevice::AnswerFromPage(std::uint32_t code, const void* input,
                                                std::uint32_t inputLength, void* output,
                                                std::uint32_t outputLength,
                                                std::uint32_t& bytesReturned) {
  if (code == IOCTL_BOARD_SELECT) {
    // A refused select leaves the previous one in force, as the driver does.
    const std::string text = SelectText(input, inputLength);
    if (!page_->Selects() || !page_->BoardOf(text)) return false;
    selection_ = text;
    return true;
  }
  const bool status = code == IOCTL_BOARD_GET_PORT_STATUS;
  if (!status && code != IOCTL_BOARD_GET_PORT_COUNTERS) return std::nullopt;
  const auto board = page_->BoardOf(selection_);
  if (!board) return std::nullopt;  // nothing selected: the driver's own refusal
  const std::uint32_t size =
      status ? std::uint32_t{MgmtPortStatusSize} : std::uint32_t{MgmtPortCountersSize};
  const auto port = PortIndexOf(input, inputLength, page_->PortCount(*board));
  if (!port || outputLength < size) return false;
  std::uint8_t record[MgmtPortCountersSize];
  static_assert(std::uint32_t{MgmtPortCountersSize} >= std::uint32_t{MgmtPortStatusSize});
  if (!page_->Read(*board, *port, status, record)) return false;
  std::memcpy(output, record, size);
  bytesReturned = size;
  return true;
}

bool BoardDevice::AskDriver(std::uint32_t code, const void* input, std::uint32_t inputLength,
                            void* output, std::uint32_t outputLength,
                            std::uint32_t& bytesReturned) {
  const auto deadline = DeviceSocket::Clock::now() + kRequestTimeout;
  if (code == IOCTL_BOARD_SELECT) {
    const std::string text = SelectText(input, inputLength);
    // The connection has that board selected already.
    if (socket_.Selection() == text && !socket_.Stalled()) {
      selection_ = text;
      return true;
    }
    if (!socket_.Request(code, input, inputLength, output, outputLength, bytesReturned, deadline))
      return false;
    selection_ = text;
    return true;
  }
  // A select answered from the page, or lost with a connection, is made now.
  if (selection_ && socket_.Selection() != selection_) {
    std::uint32_t ignored = 0;
    if (!socket_.Request(IOCTL_BOARD_SELECT, selection_->data(),
                         static_cast<std::uint32_t>(selection_->size()), nullptr, 0, ignored,
                         deadline))
      return false;
  }
  return socket_.Request(code, input, inputLength, output, outputLength, bytesReturned, deadline);
}

}  // namespace mgmt
