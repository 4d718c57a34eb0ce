// The shim's one export and the records that cross it, for the library and
// the program: the public header mgmt/include/quormgmt.h holds every code,
// size and offset once, under its own names.
//
// MgmtCommand(board, command, input, inputLength, output, outputLength)
// answers MgmtSuccess or MgmtFailure and nothing else. The caller owns both
// buffers; the library never keeps a pointer after the call returns. Every
// integer in a record is 32-bit little-endian and sits at the offset
// quormgmt.h names. Calls are expected from one thread (the library takes no lock).
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

// The records' layouts hold together: each ends where quormgmt.h says it does.
static_assert(MgmtBoardSummaryPortCountCopy + 4 == MgmtBoardSummarySize);
static_assert(MgmtDriverInfoDriverName + MgmtDriverInfoTextSize == MgmtDriverInfoDriverVersion &&
              MgmtDriverInfoDriverVersion + MgmtDriverInfoTextSize == MgmtDriverInfoSize);
static_assert(MgmtPortStatusParity + 4 == MgmtPortStatusSize);
static_assert(MgmtPortCountersErrors3 + 4 + 8 == MgmtPortCountersSize);
static_assert(MgmtPortNamesFirstEntry + MgmtPortNamesMaxEntries * MgmtPortNamesEntrySize ==
              MgmtPortNamesBufferSize);

}  // namespace mgmt
