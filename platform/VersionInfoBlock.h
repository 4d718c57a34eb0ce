// The version block as our ELF files carry it (section ".quor_version") and
// as the shim's model host serves it: "QVB1", the block's total size (u32
// little-endian, header included), then key NUL value NUL pairs. Keys are
// paths such as "\StringFileInfo\040904E4\FileVersion".
//
// The one definition of the format: the build writes blocks with
// EncodeVersionBlock (platform/tools/MakeVersionBlock.cpp), and every reader
// goes through VersionBlockSize and QueryVersionBlock, which never read
// outside the bytes they are given. Header only, so the shim can use it
// without linking anything of the program.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

constexpr char kVersionSectionName[] = ".quor_version";
constexpr char kVersionBlockMagic[4] = {'Q', 'V', 'B', '1'};
constexpr std::uint32_t kVersionBlockHeaderSize = 8;

inline std::vector<std::uint8_t> EncodeVersionBlock(
    const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<std::uint8_t> block(kVersionBlockMagic, kVersionBlockMagic + 4);
  block.resize(kVersionBlockHeaderSize);
  for (const auto& [key, value] : values) {
    block.insert(block.end(), key.begin(), key.end());
    block.push_back(0);
    block.insert(block.end(), value.begin(), value.end());
    block.push_back(0);
  }
  const auto total = static_cast<std::uint32_t>(block.size());
  for (int i = 0; i < 4; ++i) block[4 + i] = static_cast<std::uint8_t>(total >> (8 * i));
  return block;
}

// The total size a block's header states, reading its 8 header bytes only;
// 0 without the magic.
inline std::uint32_t StatedVersionBlockSize(const void* block) {
  const auto* bytes = static_cast<const std::uint8_t*>(block);
  if (std::memcmp(bytes, kVersionBlockMagic, sizeof kVersionBlockMagic) != 0) return 0;
  std::uint32_t total = 0;
  for (int i = 0; i < 4; ++i) total |= std::uint32_t{bytes[4 + i]} << (8 * i);
  return total;
}

// The total size the block states, or 0 when the size bytes at block do not
// hold a sound block (too short, no magic, a total outside them).
inline std::uint32_t VersionBlockSize(const void* block, std::size_t size) {
  if (!block || size < kVersionBlockHeaderSize) return 0;
  const std::uint32_t total = StatedVersionBlockSize(block);
  return total >= kVersionBlockHeaderSize && total <= size ? total : 0;
}

// A key compared without case, a run of backslashes as one separator and a
// trailing separator dropped.
inline std::string NormaliseVersionKey(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '\\' && !out.empty() && out.back() == '\\') continue;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (out.size() > 1 && out.back() == '\\') out.pop_back();
  return out;
}

// The value under key in the size bytes at block; nullopt when the block is
// not sound or has no such key.
inline std::optional<std::string> QueryVersionBlock(const void* block, std::size_t size,
                                                    const std::string& key) {
  const std::uint32_t total = VersionBlockSize(block, size);
  if (total == 0) return std::nullopt;
  const auto* bytes = static_cast<const char*>(block);
  const std::string wanted = NormaliseVersionKey(key);
  std::uint32_t at = kVersionBlockHeaderSize;
  auto nextText = [&](std::string& text) {
    const void* nul = std::memchr(bytes + at, '\0', total - at);
    if (!nul) return false;
    const auto length = static_cast<std::uint32_t>(static_cast<const char*>(nul) - (bytes + at));
    text.assign(bytes + at, length);
    at += length + 1;
    return true;
  };
  std::string name, value;
  while (at < total && nextText(name) && at < total && nextText(value))
    if (NormaliseVersionKey(name) == wanted) return value;
  return std::nullopt;
}

}  // namespace platform
