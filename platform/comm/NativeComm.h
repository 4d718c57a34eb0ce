// The native comm back-end's open, chosen in CMake (POSIX or Win32).
// Internal to platform/comm.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/comm/CommDevice.h"

namespace platform {

// comNumber is the COM number parsed from name (0 when name is none).
std::unique_ptr<CommDevice> OpenNativeCommDevice(int comNumber, const std::string& name,
                                                 std::uint32_t& error);

}  // namespace platform
