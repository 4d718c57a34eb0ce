// Small helpers over the host's registry calls for the discovery walks. Every
// text read stops at the first NUL inside the bytes the host returned, so a
// value without a terminating NUL is never read past its end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mgmt/Host.h"

namespace mgmt {

// An open key, closed when the holder goes.
class OpenKey {
 public:
  OpenKey(Host& host, RegKey parent, const std::string& path, std::uint32_t access);
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey();

  bool IsOpen() const { return open_; }
  RegKey Key() const { return key_; }
  std::optional<RegKeyInfo> Info() const;
  // Name of sub-key index, read into a buffer of info.maxSubKeyLength + 1.
  std::optional<std::string> SubKeyName(const RegKeyInfo& info, std::uint32_t index) const;
  // A text value read into a buffer of bufferSize bytes.
  std::optional<std::string> Text(const std::string& valueName, std::uint32_t bufferSize) const;

 private:
  Host& host_;
  RegKey key_ = 0;
  bool open_ = false;
};

// The part of bytes before the first NUL (all of them when there is none).
std::string TextUpToNul(const char* bytes, std::size_t size);

}  // namespace mgmt
