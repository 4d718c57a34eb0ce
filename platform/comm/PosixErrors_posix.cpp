#include <errno.h>

#include "platform/comm/CommDevice.h"
#include "platform/comm/PosixErrors.h"

namespace platform::posix {
namespace {

struct ErrnoRow {
  int error;
  std::uint32_t atOpen;
  std::uint32_t inOperation;
  bool vanished;  // in an operation: the device is gone
};

constexpr ErrnoRow kErrnoTable[] = {
    {ENOENT, kErrorFileNotFound, kErrorGenFailure, false},
    {ENOTDIR, kErrorFileNotFound, kErrorGenFailure, false},
    {ENOTTY, kErrorFileNotFound, kErrorInvalidFunction, false},
    {ENODEV, kErrorFileNotFound, kErrorGenFailure, true},
    {ENXIO, kErrorFileNotFound, kErrorGenFailure, true},
    {EIO, kErrorFileNotFound, kErrorGenFailure, true},
    {EPIPE, kErrorGenFailure, kErrorGenFailure, true},
    {EACCES, kErrorAccessDenied, kErrorAccessDenied, false},
    {EPERM, kErrorAccessDenied, kErrorAccessDenied, false},
    {EBUSY, kErrorAccessDenied, kErrorAccessDenied, false},
    {EWOULDBLOCK, kErrorAccessDenied, kErrorGenFailure, false},  // a held flock
    {EINVAL, kErrorGenFailure, kErrorInvalidParameter, false},
    {ENOMEM, kErrorNotEnoughMemory, kErrorNotEnoughMemory, false},
    {EBADF, kErrorGenFailure, kErrorInvalidHandle, false},
};

const ErrnoRow* Find(int error) {
  for (const ErrnoRow& row : kErrnoTable)
    if (row.error == error) return &row;
  return nullptr;
}

}  // namespace

std::uint32_t WindowsError(int error, CommCall call) {
  const ErrnoRow* row = Find(error);
  if (!row) return kErrorGenFailure;
  return call == CommCall::kOpen ? row->atOpen : row->inOperation;
}

bool DeviceVanished(int error) {
  const ErrnoRow* row = Find(error);
  return row && row->vanished;
}

}  // namespace platform::posix
