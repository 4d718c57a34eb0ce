#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/ElfSections.h"
#include "platform/Modules.h"
#include "platform/VersionInfo.h"

namespace platform {
namespace {

constexpr char kMagic[] = "QVB1";
constexpr char kSection[] = ".quor_version";
// The block's first four bytes after the magic hold its total size, so that a
// query never reads past what GetFileVersionInfo copied.
constexpr std::size_t kHeaderSize = 8;

std::string NormaliseKey(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '\\' && !out.empty() && out.back() == '\\') continue;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (!out.empty() && out.back() == '\\' && out.size() > 1) out.pop_back();
  return out;
}

std::optional<std::vector<std::uint8_t>> ReadBlock(const std::string& fileName) {
  std::string path = fileName.find('/') != std::string::npos ? fileName : FindLibraryFile(fileName);
  if (path.empty()) return std::nullopt;
  auto bytes = ReadElfSection(path, kSection);
  if (!bytes || bytes->size() < kHeaderSize || std::memcmp(bytes->data(), kMagic, 4) != 0)
    return std::nullopt;
  return bytes;
}

}  // namespace

std::uint32_t GetFileVersionInfoSize(const std::string& fileName) {
  auto block = ReadBlock(fileName);
  return block ? static_cast<std::uint32_t>(block->size()) : 0;
}

bool GetFileVersionInfo(const std::string& fileName, std::uint32_t size, void* data) {
  auto block = ReadBlock(fileName);
  if (!block || !data || size < block->size()) return false;
  std::memcpy(data, block->data(), block->size());
  // Record the size in the copy so that queries stay inside it.
  const std::uint32_t total = static_cast<std::uint32_t>(block->size());
  std::memcpy(static_cast<std::uint8_t*>(data) + 4, &total, 4);
  return true;
}

std::optional<std::string> VerQueryValue(const void* block, const std::string& key) {
  if (!block) return std::nullopt;
  const char* bytes = static_cast<const char*>(block);
  if (std::memcmp(bytes, kMagic, 4) != 0) return std::nullopt;
  std::uint32_t total = 0;
  std::memcpy(&total, bytes + 4, 4);
  const std::string wanted = NormaliseKey(key);
  std::size_t at = kHeaderSize;
  auto next = [&](std::string* out) {
    if (at >= total) return false;
    const void* end = std::memchr(bytes + at, '\0', total - at);
    if (!end) return false;
    out->assign(bytes + at, static_cast<const char*>(end));
    at += out->size() + 1;
    return true;
  };
  std::string name, value;
  while (at < total && next(&name) && next(&value)) {
    if (NormaliseKey(name) == wanted) return value;
  }
  return std::nullopt;
}

}  // namespace platform
