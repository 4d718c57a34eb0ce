// The Windows error numbers the POSIX comm device gives for errno values.
// Internal to the POSIX comm back-end.
#pragma once

#include <cstdint>

namespace platform::posix {

// Opening and operating read some values differently, as Windows does: a
// node that is missing or not a terminal is no port at open
// (ERROR_FILE_NOT_FOUND), while a request the open device does not support is
// ERROR_INVALID_FUNCTION.
enum class CommCall { kOpen, kOperation };

std::uint32_t WindowsError(int error, CommCall call);

// Whether a failed operation means the device has gone away for good.
bool DeviceVanished(int error);

}  // namespace platform::posix
