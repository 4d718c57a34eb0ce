// Reads named sections out of ELF files (32- and 64-bit, little-endian).
// Every offset and size read from the file is checked against the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ElfSection {
  std::uint64_t address = 0;  // address relative to the load base
  std::uint64_t offset = 0;   // position in the file
  std::uint64_t size = 0;
};

std::optional<ElfSection> FindElfSection(const std::string& path, const std::string& name);

// The section's bytes; nullopt when the file or the section is missing.
std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& path,
                                                        const std::string& name);

}  // namespace platform
