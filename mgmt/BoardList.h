// The board records, the board list and the platform flags: filled once while
// the library attaches, read by every command afterwards. Single-threaded by
// design: written on the loading thread before any command can run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "mgmt/Host.h"
#include "mgmt/MgmtCommand.h"

namespace mgmt {

// One board. Texts are the record's own copies; a text never read is absent.
// The handles stay open until the process ends (nothing closes them).
struct BoardRecord {
  std::unique_ptr<BoardRecord> next;
  std::optional<std::string> devicePath;
  std::optional<std::string> driverName;
  std::optional<std::string> driverFilePath;
  std::optional<std::string> driverVersion;
  std::optional<std::string> pciPath;   // 9x family: "Pci\<device key>\<instance key>"
  std::optional<std::string> portPath;  // 9x family: "\\.\" + first port name
  std::optional<std::string> description;
  Handle deviceHandle = kInvalidHandle;
  Handle portHandle = kInvalidHandle;
  std::uint32_t boardInfoWord0 = 0;
  std::uint32_t portCount = 0;
};

// Newest first: the head is board number 1.
class BoardList {
 public:
  BoardList() = default;
  BoardList(const BoardList&) = delete;
  BoardList& operator=(const BoardList&) = delete;
  ~BoardList();

  void InsertAtHead(std::unique_ptr<BoardRecord> record);
  // The record at 1-based position boardNumber; null for 0, a number past the
  // count, or a list that is not valid.
  BoardRecord* LookUp(std::int32_t boardNumber) const;
  std::uint32_t Count() const { return count_; }

  bool Valid() const { return (flags_ & kValidBit) != 0; }
  void SetValid(bool valid);

 private:
  static constexpr std::uint32_t kValidBit = 1;
  std::unique_ptr<BoardRecord> head_;
  std::uint32_t count_ = 0;
  std::uint32_t flags_ = 0;
};

enum class PlatformKind : std::uint32_t {
  None = 0,
  Win9x40 = 1,     // 9x platform, version 4.0 or lower
  Win9xLater = 2,  // 9x platform, above 4.0
  NT4 = 4,         // NT platform, major 4 or lower
  NT5 = 5,         // NT platform, major 5
};

// The flags hold MgmtSuccess (yes) or MgmtFailure (no), as the library's
// results do.
struct PlatformFlags {
  PlatformKind kind = PlatformKind::None;
  std::int32_t is9x = MgmtFailure;
  std::int32_t isNT4 = MgmtFailure;
  std::int32_t isNT5 = MgmtFailure;
};

// Reads the version record (extended, then plain) and sets kind and flag.
// Fails only when both records are refused.
MgmtResult PlatformCheck(Host& host, PlatformFlags& flags);

// The kind a version record gives; None for any other platform.
PlatformKind KindOfVersion(const OsVersion& version);

}  // namespace mgmt
