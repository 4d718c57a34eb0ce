#include <windows.h>

#include "platform/Resources.h"

namespace platform {

std::optional<RawResource> FindRawResource(const std::string& name) {
  HMODULE program = ::GetModuleHandleA(nullptr);
  HRSRC found = ::FindResourceA(program, name.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (!found) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(program, found);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) return std::nullopt;
  return RawResource{static_cast<const std::uint8_t*>(bytes), ::SizeofResource(program, found)};
}

}  // namespace platform
