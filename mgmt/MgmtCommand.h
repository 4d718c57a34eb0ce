// The shim's one export and the records that cross it.
//
// MgmtCommand(board, command, input, inputLength, output, outputLength)
// answers MgmtSuccess or MgmtFailure and nothing else. The caller owns both
// buffers; the library never keeps a pointer after the call returns. Every
// integer in a record is 32-bit little-endian and sits at the offset named
// here. Calls are expected from one thread (the library takes no lock).
#pragma once

#include <cstdint>

extern "C" {
// Plain C calling convention, exported under the undecorated name.
using MgmtCommandFunction = std::int32_t (*)(std::int32_t board, std::uint32_t command,
                                             const void* input, std::uint32_t inputLength,
                                             void* output, std::uint32_t outputLength);
}

namespace mgmt {

enum MgmtResult : std::int32_t { MgmtSuccess = 1, MgmtFailure = 2 };

enum MgmtCommandCode : std::uint32_t {
  MgmtGetVersion = 1,
  MgmtGetBoardCount = 2,
  MgmtGetBoardSummary = 3,
  MgmtGetDriverInfo = 4,
  MgmtDriverRequest800 = 5,
  MgmtGetBoardInfo = 6,
  MgmtGetPortStatus = 7,
  MgmtGetPortCounters = 8,
  MgmtDriverRequest804 = 9,
  MgmtGetPortNames = 10,
  MgmtGetBoardName = 11,
};

// The version MgmtGetVersion answers.
constexpr std::uint32_t kMgmtVersion = 1;

// Board driver requests (device type 0x22, any access, buffered).
constexpr std::uint32_t IOCTL_BOARD_FUNCTION_800 = 0x222000;
constexpr std::uint32_t IOCTL_BOARD_GET_INFO = 0x222004;
constexpr std::uint32_t IOCTL_BOARD_GET_PORT_STATUS = 0x222008;
constexpr std::uint32_t IOCTL_BOARD_GET_PORT_COUNTERS = 0x22200C;
constexpr std::uint32_t IOCTL_BOARD_FUNCTION_804 = 0x222010;
constexpr std::uint32_t IOCTL_BOARD_GET_PORT_NAMES = 0x222014;
constexpr std::uint32_t IOCTL_BOARD_SELECT = 0x222018;
constexpr std::uint32_t IOCTL_BOARD_GET_REGISTRY_PATH = 0x22201C;

// The request a forwarded command (5 to 10) becomes.
constexpr std::uint32_t ForwardedRequestCode(std::uint32_t command) {
  return IOCTL_BOARD_FUNCTION_800 + 4 * (command - MgmtDriverRequest800);
}
static_assert(ForwardedRequestCode(MgmtGetPortNames) == IOCTL_BOARD_GET_PORT_NAMES);

// MgmtBoardSummary: five u32 words.
namespace board_summary {
constexpr std::uint32_t kSize = 20;
constexpr std::uint32_t kBoardNumber = 0;
constexpr std::uint32_t kBoardNumberCopy = 4;
constexpr std::uint32_t kBoardInfoWord0 = 8;
constexpr std::uint32_t kPortCount = 12;
constexpr std::uint32_t kPortCountCopy = 16;  // the word Harbex reads
static_assert(kPortCountCopy + 4 == kSize);
}  // namespace board_summary

// MgmtDriverInfo: u32 3, then two NUL-terminated 64-byte texts.
namespace driver_info {
constexpr std::uint32_t kSize = 132;
constexpr std::uint32_t kFormat = 0;
constexpr std::uint32_t kFormatValue = 3;
constexpr std::uint32_t kDriverName = 4;
constexpr std::uint32_t kDriverVersion = 68;
constexpr std::uint32_t kTextSize = 64;
static_assert(kDriverVersion + kTextSize == kSize);
}  // namespace driver_info

// MgmtBoardInfo, produced by the driver.
namespace board_info {
constexpr std::uint32_t kSize = 120;
constexpr std::uint32_t kWord0 = 0;
constexpr std::uint32_t kPortCount = 4;
}  // namespace board_info

// MgmtPortStatus, produced by the driver. Line bytes: 0 = not available,
// 2 = asserted, other = not asserted.
namespace port_status {
constexpr std::uint32_t kSize = 56;
constexpr std::uint32_t kOpenState = 0;  // 1 = closed, other = open
constexpr std::uint32_t kRts = 24;
constexpr std::uint32_t kCts = 25;
constexpr std::uint32_t kDtr = 26;
constexpr std::uint32_t kDsr = 27;
constexpr std::uint32_t kRi = 28;
constexpr std::uint32_t kCd = 29;
constexpr std::uint32_t kBaud = 32;          // 0 = not reported
constexpr std::uint32_t kBaudCopy = 36;      // differs from kBaud: shown as an error
constexpr std::uint32_t kDataBitsCode = 44;  // 9 - data bits; 0 = not reported
constexpr std::uint32_t kStopBits = 48;      // 1, 2, 3 = one and a half; 0 = not reported
constexpr std::uint32_t kParity = 52;  // 0 not reported, 1 none, 2 odd, 3 even, 4 space, 5 mark
static_assert(kParity + 4 == kSize);
constexpr std::uint32_t kClosed = 1;
constexpr std::uint8_t kLineNotAvailable = 0;
constexpr std::uint8_t kLineAsserted = 2;
constexpr std::uint8_t kLineNotAsserted = 1;
}  // namespace port_status

// MgmtPortCounters, produced by the driver.
namespace port_counters {
constexpr std::uint32_t kSize = 76;
constexpr std::uint32_t kBytesTransmitted = 0;
constexpr std::uint32_t kBytesReceived = 4;
constexpr std::uint32_t kErrors1 = 56;
constexpr std::uint32_t kErrors2 = 60;
constexpr std::uint32_t kErrors3 = 64;
static_assert(kErrors3 + 4 + 8 == kSize);
}  // namespace port_counters

// MgmtPortNames: u32 count, then one 16-byte NUL-padded name per port.
namespace port_names {
constexpr std::uint32_t kCount = 0;
constexpr std::uint32_t kFirstEntry = 4;
constexpr std::uint32_t kEntrySize = 16;
constexpr std::uint32_t kHarbexBufferSize = 1028;  // the count and 64 entries
static_assert(kFirstEntry + 64 * kEntrySize == kHarbexBufferSize);
}  // namespace port_names

}  // namespace mgmt
