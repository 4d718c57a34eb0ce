// Everything the library keeps: the host it talks through, the board list and
// the platform flags. The exported MgmtCommand uses one process-wide Shim;
// tests build their own over a model host.
#pragma once

#include <cstdint>

#include "mgmt/BoardList.h"
#include "mgmt/Host.h"

namespace mgmt {

struct Shim {
  explicit Shim(Host& h) : host(h) {}
  Host& host;
  BoardList boardList;
  PlatformFlags platform;
};

// Process attach: marks the list valid, runs the platform check and the walk
// of the platform's family. Fails only when the platform check fails.
MgmtResult AttachShim(Shim& shim);

// Process detach: marks the list not valid; nothing is released.
void DetachShim(Shim& shim);

// One MgmtCommand call.
MgmtResult DispatchCommand(Shim& shim, std::int32_t board, std::uint32_t command, const void* input,
                           std::uint32_t inputLength, void* output, std::uint32_t outputLength);

}  // namespace mgmt
