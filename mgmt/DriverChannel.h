// The per-board channel to the board driver: opening the device, the one
// refresh discovery runs per board, and forwarding requests. Each step
// answers MgmtSuccess or MgmtFailure and reports nothing else.
#pragma once

#include <cstdint>

#include "mgmt/BoardList.h"
#include "mgmt/Host.h"

namespace mgmt {

struct DriverContext {
  Host& host;
  const PlatformFlags& platform;
};

// Opens the device handle (9x family: with the first port held open around
// it, then opened and closed once more).
MgmtResult OpenBoardDevice(DriverContext context, BoardRecord& record);

// Driver version, open (except on NT 4, where discovery opened it), board
// select, board information.
MgmtResult RefreshBoard(DriverContext context, BoardRecord& record);

// Board select, then the request with the caller's buffers unchanged. A
// refused select means the request is never sent.
MgmtResult SendDriverRequest(DriverContext context, BoardRecord& record, std::uint32_t code,
                             const void* input, std::uint32_t inputLength, void* output,
                             std::uint32_t outputLength);

// Fills the record's driver version from its driver file's version block.
MgmtResult ReadDriverVersion(DriverContext context, BoardRecord& record);

// IOCTL_BOARD_SELECT with the PCI path on the 9x family; nothing elsewhere.
MgmtResult SelectBoard(DriverContext context, BoardRecord& record);

}  // namespace mgmt
