// The shim's one export and the records that cross it, for the library and
// the program: the C++ names over the public header mgmt/include/quormgmt.h,
// which holds every code, size and offset once.
//
// MgmtCommand(board, command, input, inputLength, output, outputLength)
// answers MgmtSuccess or MgmtFailure and nothing else. The caller owns both
// buffers; the library never keeps a pointer after the call returns. Every
// integer in a record is 32-bit little-endian and sits at the offset named
// here. Calls are expected from one thread (the library takes no lock).
#pragma once

#include <cstdint>

#include "mgmt/include/quormgmt.h"

namespace mgmt {

using ::MgmtFailure;
using ::MgmtResult;
using ::MgmtSuccess;

using ::MgmtCommandCode;
using ::MgmtDriverRequest800;
using ::MgmtDriverRequest804;
using ::MgmtGetBoardCount;
using ::MgmtGetBoardInfo;
using ::MgmtGetBoardName;
using ::MgmtGetBoardSummary;
using ::MgmtGetDriverInfo;
using ::MgmtGetPortCounters;
using ::MgmtGetPortNames;
using ::MgmtGetPortStatus;
using ::MgmtGetVersion;

constexpr std::uint32_t kMgmtVersion = MgmtLibraryVersion;

using ::IOCTL_BOARD_FUNCTION_800;
using ::IOCTL_BOARD_FUNCTION_804;
using ::IOCTL_BOARD_GET_INFO;
using ::IOCTL_BOARD_GET_PORT_COUNTERS;
using ::IOCTL_BOARD_GET_PORT_NAMES;
using ::IOCTL_BOARD_GET_PORT_STATUS;
using ::IOCTL_BOARD_GET_REGISTRY_PATH;
using ::IOCTL_BOARD_SELECT;

// The request a forwarded command (5 to 10) becomes.
constexpr std::uint32_t ForwardedRequestCode(std::uint32_t command) {
  return std::uint32_t{IOCTL_BOARD_FUNCTION_800} + 4 * (command - MgmtDriverRequest800);
}
static_assert(ForwardedRequestCode(MgmtGetPortNames) == IOCTL_BOARD_GET_PORT_NAMES);

namespace board_summary {
constexpr std::uint32_t kSize = MgmtBoardSummarySize;
constexpr std::uint32_t kBoardNumber = MgmtBoardSummaryBoardNumber;
constexpr std::uint32_t kBoardNumberCopy = MgmtBoardSummaryBoardNumberCopy;
constexpr std::uint32_t kBoardInfoWord0 = MgmtBoardSummaryBoardInfoWord0;
constexpr std::uint32_t kPortCount = MgmtBoardSummaryPortCount;
constexpr std::uint32_t kPortCountCopy = MgmtBoardSummaryPortCountCopy;  // the word Harbex reads
static_assert(kPortCountCopy + 4 == kSize);
}  // namespace board_summary

namespace driver_info {
constexpr std::uint32_t kSize = MgmtDriverInfoSize;
constexpr std::uint32_t kFormat = MgmtDriverInfoFormat;
constexpr std::uint32_t kFormatValue = MgmtDriverInfoFormatValue;
constexpr std::uint32_t kDriverName = MgmtDriverInfoDriverName;
constexpr std::uint32_t kDriverVersion = MgmtDriverInfoDriverVersion;
constexpr std::uint32_t kTextSize = MgmtDriverInfoTextSize;
static_assert(kDriverName + kTextSize == kDriverVersion && kDriverVersion + kTextSize == kSize);
}  // namespace driver_info

namespace board_info {
constexpr std::uint32_t kSize = MgmtBoardInfoSize;
constexpr std::uint32_t kWord0 = MgmtBoardInfoWord0;
constexpr std::uint32_t kPortCount = MgmtBoardInfoPortCount;
}  // namespace board_info

namespace port_status {
constexpr std::uint32_t kSize = MgmtPortStatusSize;
constexpr std::uint32_t kOpenState = MgmtPortStatusOpenState;
constexpr std::uint32_t kRts = MgmtPortStatusRts;
constexpr std::uint32_t kCts = MgmtPortStatusCts;
constexpr std::uint32_t kDtr = MgmtPortStatusDtr;
constexpr std::uint32_t kDsr = MgmtPortStatusDsr;
constexpr std::uint32_t kRi = MgmtPortStatusRi;
constexpr std::uint32_t kCd = MgmtPortStatusCd;
constexpr std::uint32_t kBaud = MgmtPortStatusBaud;
constexpr std::uint32_t kBaudCopy = MgmtPortStatusBaudCopy;
constexpr std::uint32_t kDataBitsCode = MgmtPortStatusDataBitsCode;
constexpr std::uint32_t kStopBits = MgmtPortStatusStopBits;
constexpr std::uint32_t kParity = MgmtPortStatusParity;
static_assert(kParity + 4 == kSize);
constexpr std::uint32_t kClosed = MgmtPortStatusClosed;
constexpr std::uint8_t kLineNotAvailable = MgmtLineNotAvailable;
constexpr std::uint8_t kLineAsserted = MgmtLineAsserted;
constexpr std::uint8_t kLineNotAsserted = MgmtLineNotAsserted;
}  // namespace port_status

namespace port_counters {
constexpr std::uint32_t kSize = MgmtPortCountersSize;
constexpr std::uint32_t kBytesTransmitted = MgmtPortCountersBytesTransmitted;
constexpr std::uint32_t kBytesReceived = MgmtPortCountersBytesReceived;
constexpr std::uint32_t kErrors1 = MgmtPortCountersErrors1;
constexpr std::uint32_t kErrors2 = MgmtPortCountersErrors2;
constexpr std::uint32_t kErrors3 = MgmtPortCountersErrors3;
static_assert(kErrors3 + 4 + 8 == kSize);
}  // namespace port_counters

namespace port_names {
constexpr std::uint32_t kCount = MgmtPortNamesCount;
constexpr std::uint32_t kFirstEntry = MgmtPortNamesFirstEntry;
constexpr std::uint32_t kEntrySize = MgmtPortNamesEntrySize;
constexpr std::uint32_t kHarbexBufferSize = MgmtPortNamesBufferSize;  // the count and 64 entries
static_assert(kFirstEntry + MgmtPortNamesMaxEntries * kEntrySize == kHarbexBufferSize);
}  // namespace port_names

}  // namespace mgmt
