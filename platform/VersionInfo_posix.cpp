#include <cstring>
#include <vector>

#include "platform/ElfSections.h"
#include "platform/Modules.h"
#include "platform/VersionInfo.h"
#include "platform/VersionInfoBlock.h"

namespace platform {
namespace {

// The file's block, cut to the size it states; nullopt when it has none or
// the section does not hold a sound one.
std::optional<std::vector<std::uint8_t>> ReadBlock(const std::string& fileName) {
  std::string path = fileName.find('/') != std::string::npos ? fileName : FindLibraryFile(fileName);
  if (path.empty()) return std::nullopt;
  auto bytes = ReadElfSection(path, kVersionSectionName);
  if (!bytes) return std::nullopt;
  const std::uint32_t size = VersionBlockSize(bytes->data(), bytes->size());
  if (size == 0) return std::nullopt;
  bytes->resize(size);
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
  return true;
}

// As on Windows, the block is trusted to be as long as its header says:
// GetFileVersionInfo copied that much.
std::optional<std::string> VerQueryValue(const void* block, const std::string& key) {
  if (!block) return std::nullopt;
  return QueryVersionBlock(block, StatedVersionBlockSize(block), key);
}

}  // namespace platform
