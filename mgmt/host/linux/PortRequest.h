// What orvalisd takes as a port request (status, counters, clearing the
// counters): a u32 port index, below the board's port count, at the head of
// the input. One rule for the driver's socket and for the shim's answers
// from the status page, so both refuse the same requests.
#pragma once

#include <cstdint>
#include <optional>

#include "mgmt/ByteOrder.h"

namespace mgmt {

inline std::optional<std::uint32_t> PortIndexOf(const void* input, std::uint32_t inputLength,
                                                std::uint32_t portCount) {
  if (!input || inputLength < 4) return std::nullopt;
  const std::uint32_t index = GetU32(input, 0);
  if (index >= portCount) return std::nullopt;
  return index;
}

}  // namespace mgmt
