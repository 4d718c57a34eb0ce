// The frames of one device request over a driver socket: the shim sends a
// request, orvalisd answers with one reply, on a connection that lasts as
// long as the device handle. Little-endian words at fixed offsets.
//
//   request: "QDRQ" | code | input length | output room | input bytes
//   reply:   "QDRP" | result (1 done, 2 refused) | length | output bytes
//
// Both sides check every header: a wrong magic, a length above
// kMaxFramePayload or a reply longer than the room asked for is a broken
// connection, never a buffer size to trust.
#pragma once

#include <cstdint>
#include <optional>

namespace mgmt::frame {

constexpr std::uint32_t kRequestHeaderSize = 16;
constexpr std::uint32_t kReplyHeaderSize = 12;
constexpr std::uint32_t kMaxFramePayload = 1 << 16;
constexpr std::uint32_t kDone = 1;
constexpr std::uint32_t kRefused = 2;

struct RequestHeader {
  std::uint32_t code = 0;
  std::uint32_t inputLength = 0;
  std::uint32_t outputRoom = 0;
};

struct ReplyHeader {
  std::uint32_t result = kRefused;
  std::uint32_t length = 0;
};

void EncodeRequestHeader(const RequestHeader& header, std::uint8_t* out);
std::optional<RequestHeader> DecodeRequestHeader(const std::uint8_t* in);

void EncodeReplyHeader(const ReplyHeader& header, std::uint8_t* out);
// outputRoom is what the request asked for; a longer reply is refused.
std::optional<ReplyHeader> DecodeReplyHeader(const std::uint8_t* in, std::uint32_t outputRoom);

}  // namespace mgmt::frame
