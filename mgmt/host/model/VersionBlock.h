// The model's version block: "QVB1", the block's total size (u32), then
// key NUL value NUL pairs. Queries never read past the size they are given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mgmt {

std::vector<std::uint8_t> EncodeVersionBlock(
    const std::vector<std::pair<std::string, std::string>>& values);

// The value under key; a run of backslashes is one separator and case does
// not matter. nullopt when the block is damaged or has no such key.
std::optional<std::string> QueryVersionBlock(const void* block, std::uint32_t size,
                                             const std::string& key);

}  // namespace mgmt
