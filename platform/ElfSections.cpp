#include "platform/ElfSections.h"

#include <cstring>
#include <fstream>

namespace platform {
namespace {

class ElfFile {
 public:
  explicit ElfFile(const std::string& path) : in_(path, std::ios::binary) {
    if (in_) {
      in_.seekg(0, std::ios::end);
      size_ = static_cast<std::uint64_t>(in_.tellg());
    }
  }

  bool Read(std::uint64_t offset, void* out, std::uint64_t count) {
    if (!in_ || offset > size_ || count > size_ - offset) return false;
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(static_cast<char*>(out), static_cast<std::streamsize>(count));
    return static_cast<bool>(in_);
  }

  std::uint64_t Number(std::uint64_t offset, int width, bool* ok) {
    std::uint8_t bytes[8] = {};
    if (!Read(offset, bytes, width)) {
      *ok = false;
      return 0;
    }
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
  }

  std::uint64_t size() const { return size_; }

 private:
  std::ifstream in_;
  std::uint64_t size_ = 0;
};

}  // namespace

std::optional<ElfSection> FindElfSection(const std::string& path, const std::string& name) {
  ElfFile file(path);
  unsigned char ident[16];
  if (!file.Read(0, ident, sizeof ident) ||
      std::memcmp(ident,
                  "\x7f"
                  "ELF",
                  4) != 0 ||
      ident[5] != 1 /* little-endian */)
    return std::nullopt;
  const bool is64 = ident[4] == 2;
  if (!is64 && ident[4] != 1) return std::nullopt;
  const int word = is64 ? 8 : 4;
  bool ok = true;
  const std::uint64_t shoff = file.Number(is64 ? 0x28 : 0x20, word, &ok);
  const std::uint64_t shentsize = file.Number(is64 ? 0x3A : 0x2E, 2, &ok);
  const std::uint64_t shnum = file.Number(is64 ? 0x3C : 0x30, 2, &ok);
  const std::uint64_t shstrndx = file.Number(is64 ? 0x3E : 0x32, 2, &ok);
  const std::uint64_t minEntry = is64 ? 0x40 : 0x28;
  if (!ok || shentsize < minEntry || shstrndx >= shnum) return std::nullopt;

  auto header = [&](std::uint64_t index, ElfSection* out, std::uint64_t* nameOffset) {
    const std::uint64_t at = shoff + index * shentsize;
    *nameOffset = file.Number(at, 4, &ok);
    out->address = file.Number(at + (is64 ? 0x10 : 0x0C), word, &ok);
    out->offset = file.Number(at + (is64 ? 0x18 : 0x10), word, &ok);
    out->size = file.Number(at + (is64 ? 0x20 : 0x14), word, &ok);
    return ok;
  };
  ElfSection names;
  std::uint64_t unused = 0;
  if (!header(shstrndx, &names, &unused)) return std::nullopt;

  std::string candidate(name.size() + 1, '\0');
  for (std::uint64_t i = 0; i < shnum; ++i) {
    ElfSection section;
    std::uint64_t nameOffset = 0;
    if (!header(i, &section, &nameOffset)) return std::nullopt;
    if (nameOffset >= names.size || names.size - nameOffset < candidate.size()) continue;
    if (!file.Read(names.offset + nameOffset, candidate.data(), candidate.size())) continue;
    if (candidate.compare(0, name.size(), name) == 0 && candidate.back() == '\0') {
      if (section.offset > file.size() || section.size > file.size() - section.offset)
        return std::nullopt;
      return section;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& path,
                                                        const std::string& name) {
  auto section = FindElfSection(path, name);
  if (!section) return std::nullopt;
  std::vector<std::uint8_t> bytes(section->size);
  ElfFile file(path);
  if (!file.Read(section->offset, bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

}  // namespace platform
