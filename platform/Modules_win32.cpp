#include <windows.h>

#include <algorithm>
#include <cctype>

#include "platform/Modules.h"

namespace platform {

std::string ProgramFilePath() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

std::string MapLibraryName(const std::string& name) {
  return name;
}

std::string FindLibraryFile(const std::string& name) {
  char path[MAX_PATH];
  DWORD length = SearchPathA(nullptr, name.c_str(), ".dll", MAX_PATH, path, nullptr);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

HMODULE LoadLibrary(const std::string& name) {
  return reinterpret_cast<HMODULE>(::LoadLibraryA(name.c_str()));
}

FARPROC GetProcAddress(HMODULE module, const std::string& name) {
  if (!module) return nullptr;
  return reinterpret_cast<FARPROC>(::GetProcAddress(static_cast<HINSTANCE>(module), name.c_str()));
}

bool FreeLibrary(HMODULE module) {
  return module && ::FreeLibrary(static_cast<HINSTANCE>(module)) != 0;
}

}  // namespace platform
