#include "serial/StringResource.h"

#include <cstring>
#include <optional>

#include "platform/Resources.h"
#include "serial/AnsiText.h"

namespace serial {
namespace {

constexpr std::uint32_t kMsgStringNotFound = 1;
constexpr std::uint32_t kMsgResourceNotFound = 3;
constexpr std::uint32_t kMsgInvalidResource = 5;
constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kIndexEntrySize = 12;

std::uint32_t ReadU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

// Every index entry must point inside the resource, ids ascending, so that a
// damaged table is refused at creation instead of read out of bounds later.
bool WellFormed(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderSize || std::memcmp(data, "STR0", 4) != 0) return false;
  const std::uint32_t count = ReadU32(data + 4);
  if ((size - kHeaderSize) / kIndexEntrySize < count) return false;
  std::uint32_t previousId = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = data + kHeaderSize + i * kIndexEntrySize;
    const std::uint32_t id = ReadU32(entry);
    const std::uint64_t offset = ReadU32(entry + 4);
    const std::uint64_t bytes = std::uint64_t(ReadU32(entry + 8)) * 2;
    if (i > 0 && id <= previousId) return false;
    if (offset + bytes > size) return false;
    previousId = id;
  }
  return true;
}

// Binary search of a well-formed table; nullopt when id has no entry.
std::optional<std::u16string> FindText(const std::uint8_t* data, std::uint32_t id) {
  std::int64_t low = 0;
  std::int64_t high = std::int64_t(ReadU32(data + 4)) - 1;
  while (high >= low) {
    const std::int64_t middle = (low + high) / 2;
    const std::uint8_t* entry = data + kHeaderSize + middle * kIndexEntrySize;
    const std::uint32_t entryId = ReadU32(entry);
    if (entryId == id) {
      std::u16string text(ReadU32(entry + 8), u'\0');
      const std::uint8_t* p = data + ReadU32(entry + 4);
      for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = char16_t(p[2 * i] | p[2 * i + 1] << 8);
      return text;
    }
    if (entryId < id)
      low = middle + 1;
    else
      high = middle - 1;
  }
  return std::nullopt;
}

// The manager's message id with its one argument filled in. Read straight
// from the resource, so that creating the manager's own table can report its
// failure; without that table the argument alone is the message.
std::string ManagerMessage(std::uint32_t id, const std::string& argument) {
  std::string text;
  const auto resource = platform::FindRawResource(kManagerStringsName);
  if (resource && WellFormed(resource->data, resource->size)) {
    if (auto found = FindText(resource->data, id)) text = Utf16ToAnsi(*found);
  }
  for (const char* placeholder : {"%s", "%d"}) {
    if (auto at = text.find(placeholder); at != std::string::npos)
      return text.replace(at, 2, argument);
  }
  return text.empty() ? argument : text;
}

}  // namespace

TAdStringResource::TAdStringResource(const std::string& resourceName)
    : name_(resourceName.substr(0, kMaxNameLength)) {
  if (name_.empty()) return;
  const auto resource = platform::FindRawResource(name_);
  if (!resource) throw EKeshStringResourceError(ManagerMessage(kMsgResourceNotFound, name_));
  if (!WellFormed(resource->data, resource->size))
    throw EKeshStringResourceError(ManagerMessage(kMsgInvalidResource, name_));
  data_ = resource->data;
}

std::string TAdStringResource::GetString(std::uint32_t id) const {
  if (data_) {
    if (auto text = FindText(data_, id)) return Utf16ToAnsi(*text);
  }
  if (raiseOnMissing_)
    throw EKeshStringResourceError(ManagerMessage(kMsgStringNotFound, std::to_string(id)));
  return {};
}

const TAdStringResource& ManagerStrings() {
  static const TAdStringResource strings(kManagerStringsName);
  return strings;
}

const TAdStringResource& ErrorStrings() {
  static const TAdStringResource strings(kErrorStringsName);
  return strings;
}

}  // namespace serial
