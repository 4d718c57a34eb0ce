#include "mgmt/host/model/VersionBlock.h"

#include <cctype>
#include <cstring>

#include "mgmt/ByteOrder.h"

namespace mgmt {
namespace {

constexpr char kMagic[4] = {'Q', 'V', 'B', '1'};
constexpr std::uint32_t kHeaderSize = 8;

std::string NormaliseKey(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '\\' && !out.empty() && out.back() == '\\') continue;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> EncodeVersionBlock(
    const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<std::uint8_t> block(kMagic, kMagic + 4);
  block.resize(kHeaderSize);
  for (const auto& [key, value] : values) {
    block.insert(block.end(), key.begin(), key.end());
    block.push_back(0);
    block.insert(block.end(), value.begin(), value.end());
    block.push_back(0);
  }
  PutU32(block.data(), 4, static_cast<std::uint32_t>(block.size()));
  return block;
}

std::optional<std::string> QueryVersionBlock(const void* block, std::uint32_t size,
                                             const std::string& key) {
  const auto* bytes = static_cast<const char*>(block);
  if (!bytes || size < kHeaderSize || std::memcmp(bytes, kMagic, 4) != 0) return std::nullopt;
  const std::uint32_t total = GetU32(bytes, 4);
  if (total > size) return std::nullopt;
  const std::string wanted = NormaliseKey(key);
  std::uint32_t at = kHeaderSize;
  auto nextText = [&](std::string& text) {
    const void* nul = std::memchr(bytes + at, '\0', total - at);
    if (!nul) return false;
    const auto length = static_cast<std::uint32_t>(static_cast<const char*>(nul) - (bytes + at));
    text.assign(bytes + at, length);
    at += length + 1;
    return true;
  };
  std::string name, value;
  while (at < total && nextText(name) && nextText(value))
    if (NormaliseKey(name) == wanted) return value;
  return std::nullopt;
}

}  // namespace mgmt
