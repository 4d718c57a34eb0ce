// Little-endian words at explicit byte offsets of a record buffer. The caller
// has checked that offset + 4 lies inside the buffer.
#pragma once

#include <cstdint>

namespace mgmt {

inline void PutU32(void* buffer, std::uint32_t offset, std::uint32_t value) {
  auto* bytes = static_cast<std::uint8_t*>(buffer) + offset;
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t GetU32(const void* buffer, std::uint32_t offset) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer) + offset;
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  return value;
}

}  // namespace mgmt
