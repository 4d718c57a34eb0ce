// Engine error codes: negative 32-bit values; the text of a code is the error
// table's entry for its magnitude (ErrorText.h).
#pragma once

#include <cstdint>

namespace serial {

// General.
constexpr std::int32_t ecBadHandle = -1001;
constexpr std::int32_t ecBadArgument = -1002;
constexpr std::int32_t ecGotQuitMsg = -1003;
constexpr std::int32_t ecBufferTooBig = -1004;
constexpr std::int32_t ecPortNotAssigned = -1005;
constexpr std::int32_t ecInternal = -1006;
// Device open.
constexpr std::int32_t ecBadId = -2001;
constexpr std::int32_t ecBaudRate = -2002;
constexpr std::int32_t ecByteSize = -2003;
constexpr std::int32_t ecDefault = -2004;
constexpr std::int32_t ecHardware = -2005;
constexpr std::int32_t ecMemory = -2006;
constexpr std::int32_t ecCommNotOpen = -2007;
constexpr std::int32_t ecAlreadyOpen = -2008;
constexpr std::int32_t ecNoHandles = -2009;
constexpr std::int32_t ecNoTimers = -2010;
constexpr std::int32_t ecNoPortSelected = -2011;
// Serial input and output.
constexpr std::int32_t ecNullApi = -3001;
constexpr std::int32_t ecNotSupported = -3002;
constexpr std::int32_t ecRegisterHandlerFailed = -3003;
constexpr std::int32_t ecPutBlockFail = -3004;
constexpr std::int32_t ecGetBlockFail = -3005;
constexpr std::int32_t ecOutputBufferTooSmall = -3006;
constexpr std::int32_t ecBufferIsEmpty = -3007;
constexpr std::int32_t ecTracingNotEnabled = -3008;
constexpr std::int32_t ecLoggingNotEnabled = -3009;
constexpr std::int32_t ecBaseAddressNotSet = -3010;
// Triggers.
constexpr std::int32_t ecNoMoreTriggers = -5001;
constexpr std::int32_t ecTriggerTooLong = -5002;
constexpr std::int32_t ecBadTriggerHandle = -5003;
// The system's out-of-memory error, as a result.
constexpr std::int32_t ecOutOfMemory = -8;

// A failed system call's result: minus its system error code.
constexpr std::int32_t SystemError(std::uint32_t error) {
  return -static_cast<std::int32_t>(error);
}

}  // namespace serial
