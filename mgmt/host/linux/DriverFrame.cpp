#include "mgmt/host/linux/DriverFrame.h"

#include "mgmt/ByteOrder.h"

namespace mgmt::frame {
namespace {

constexpr std::uint32_t kRequestMagic = 0x51524451;  // "QDRQ"
constexpr std::uint32_t kReplyMagic = 0x50524451;    // "QDRP"

}  // namespace

void EncodeRequestHeader(const RequestHeader& header, std::uint8_t* out) {
  PutU32(out, 0, kRequestMagic);
  PutU32(out, 4, header.code);
  PutU32(out, 8, header.inputLength);
  PutU32(out, 12, header.outputRoom);
}

std::optional<RequestHeader> DecodeRequestHeader(const std::uint8_t* in) {
  if (GetU32(in, 0) != kRequestMagic) return std::nullopt;
  RequestHeader header{GetU32(in, 4), GetU32(in, 8), GetU32(in, 12)};
  if (header.inputLength > kMaxFramePayload || header.outputRoom > kMaxFramePayload)
    return std::nullopt;
  return header;
}

void EncodeReplyHeader(const ReplyHeader& header, std::uint8_t* out) {
  PutU32(out, 0, kReplyMagic);
  PutU32(out, 4, header.result);
  PutU32(out, 8, header.length);
}

std::optional<ReplyHeader> DecodeReplyHeader(const std::uint8_t* in, std::uint32_t outputRoom) {
  if (GetU32(in, 0) != kReplyMagic) return std::nullopt;
  ReplyHeader header{GetU32(in, 4), GetU32(in, 8)};
  if ((header.result != kDone && header.result != kRefused) || header.length > outputRoom)
    return std::nullopt;
  return header;
}

}  // namespace mgmt::frame
