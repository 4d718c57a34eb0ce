// Raw-data resources carried by the program, looked up by name (without
// regard to case, as Windows does). Windows: RCDATA resources of the program
// file. Linux: byte arrays that the build links in and registers at start-up
// (cmake/StringTable.cmake).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct RawResource {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// The resource's bytes, valid for the life of the program; nullopt if absent.
std::optional<RawResource> FindRawResource(const std::string& name);

// Registers a resource for the life of the program; used by generated code.
class RawResourceRegistration {
 public:
  RawResourceRegistration(const char* name, const unsigned char* data, std::size_t size);
};

}  // namespace platform
