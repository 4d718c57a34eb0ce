#include "mgmt/Discovery.h"

namespace mgmt {

std::string DriverDirectory(Host& host) {
  char directory[kMaxPath];
  const std::uint32_t length = host.GetWindowsDirectory(directory, kMaxPath);
  if (length == 0 || length >= kMaxPath) return {};
  return std::string(directory, length) + "\\System32\\Drivers\\";
}

MgmtResult AttachShim(Shim& shim) {
  shim.boardList.SetValid(true);
  if (PlatformCheck(shim.host, shim.platform) != MgmtSuccess) return MgmtFailure;
  switch (shim.platform.kind) {
    case PlatformKind::Win9x40:
    case PlatformKind::Win9xLater:
      DiscoverBoards9x(shim);
      break;
    case PlatformKind::NT4:
      DiscoverBoardsNT4(shim);
      break;
    case PlatformKind::NT5:
      DiscoverBoardsNT5(shim);
      break;
    case PlatformKind::None:
      break;
  }
  return MgmtSuccess;
}

void DetachShim(Shim& shim) {
  shim.boardList.SetValid(false);
}

}  // namespace mgmt
