#include <windows.h>

#include "platform/VersionInfo.h"

namespace platform {
namespace {

// Windows wants single separators; we accept runs of backslashes.
std::string CollapseBackslashes(const std::string& key) {
  std::string out;
  for (char c : key)
    if (c != '\\' || out.empty() || out.back() != '\\') out.push_back(c);
  return out;
}

}  // namespace

std::uint32_t GetFileVersionInfoSize(const std::string& fileName) {
  DWORD handle = 0;
  return ::GetFileVersionInfoSizeA(fileName.c_str(), &handle);
}

bool GetFileVersionInfo(const std::string& fileName, std::uint32_t size, void* data) {
  return data && ::GetFileVersionInfoA(fileName.c_str(), 0, size, data) != 0;
}

std::optional<std::string> VerQueryValue(const void* block, const std::string& key) {
  if (!block) return std::nullopt;
  char* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block, CollapseBackslashes(key).c_str(), reinterpret_cast<void**>(&value),
                        &length) ||
      !value)
    return std::nullopt;
  std::string text(value, length);
  if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace platform
