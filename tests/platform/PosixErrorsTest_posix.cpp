#include <errno.h>
#include <gtest/gtest.h>

#include "platform/comm/CommDevice.h"
#include "platform/comm/PosixErrors.h"

namespace platform::posix {
namespace {

struct ErrnoCase {
  int error;
  std::uint32_t atOpen;
  std::uint32_t inOperation;
  bool vanished;
};

// The rows where opening and operating part, a device that goes away, and a
// value nobody listed.
const ErrnoCase kCases[] = {
    {ENOTTY, kErrorFileNotFound, kErrorInvalidFunction, false},
    {EBUSY, kErrorAccessDenied, kErrorAccessDenied, false},
    {EWOULDBLOCK, kErrorAccessDenied, kErrorGenFailure, false},
    {EINVAL, kErrorGenFailure, kErrorInvalidParameter, false},
    {EIO, kErrorFileNotFound, kErrorGenFailure, true},
    {EPIPE, kErrorGenFailure, kErrorGenFailure, true},
    {ENOMEM, kErrorNotEnoughMemory, kErrorNotEnoughMemory, false},
    {EXDEV, kErrorGenFailure, kErrorGenFailure, false},
};

TEST(PosixErrorsTest, OpenAndOperationReadEachErrnoFromOneTable) {
  for (const ErrnoCase& c : kCases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(WindowsError(c.error, CommCall::kOpen), c.atOpen);
    EXPECT_EQ(WindowsError(c.error, CommCall::kOperation), c.inOperation);
    EXPECT_EQ(DeviceVanished(c.error), c.vanished);
  }
}

}  // namespace
}  // namespace platform::posix
