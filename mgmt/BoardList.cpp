#include "mgmt/BoardList.h"

namespace mgmt {

BoardList::~BoardList() {
  // Unlink one by one: a long chain of owners must not recurse on the stack.
  while (head_) head_ = std::move(head_->next);
}

void BoardList::InsertAtHead(std::unique_ptr<BoardRecord> record) {
  record->next = std::move(head_);
  head_ = std::move(record);
  ++count_;
}

BoardRecord* BoardList::LookUp(std::int32_t boardNumber) const {
  if (!Valid() || boardNumber < 1) return nullptr;
  std::int32_t position = 1;
  for (BoardRecord* record = head_.get(); record; record = record->next.get(), ++position)
    if (position == boardNumber) return record;
  return nullptr;
}

void BoardList::SetValid(bool valid) {
  if (valid)
    flags_ |= kValidBit;
  else
    flags_ &= ~kValidBit;
}

PlatformKind KindOfVersion(const OsVersion& version) {
  if (version.platformId == kVerPlatformWin32Windows) {
    const bool above40 = version.major > 4 || (version.major == 4 && version.minor != 0);
    return above40 ? PlatformKind::Win9xLater : PlatformKind::Win9x40;
  }
  if (version.platformId == kVerPlatformWin32NT) {
    if (version.major <= 4) return PlatformKind::NT4;
    if (version.major == 5) return PlatformKind::NT5;
  }
  return PlatformKind::None;
}

MgmtResult PlatformCheck(Host& host, PlatformFlags& flags) {
  OsVersion version;
  if (!host.GetVersionEx(kVersionRecordExtended, version) &&
      !host.GetVersionEx(kVersionRecordPlain, version))
    return MgmtFailure;
  flags.kind = KindOfVersion(version);
  switch (flags.kind) {
    case PlatformKind::Win9x40:
    case PlatformKind::Win9xLater:
      flags.is9x = MgmtSuccess;
      break;
    case PlatformKind::NT4:
      flags.isNT4 = MgmtSuccess;
      break;
    case PlatformKind::NT5:
      flags.isNT5 = MgmtSuccess;
      break;
    case PlatformKind::None:
      break;
  }
  return MgmtSuccess;
}

}  // namespace mgmt
