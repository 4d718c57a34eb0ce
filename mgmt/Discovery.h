// The three discovery walks. Each runs once, inside the library's attach, and
// inserts every board it completes at the head of the board list. A failure
// ends the walk silently; the boards found before it stay listed.
#pragma once

#include "mgmt/Shim.h"

namespace mgmt {

void DiscoverBoardsNT5(Shim& shim);
void DiscoverBoardsNT4(Shim& shim);
void DiscoverBoards9x(Shim& shim);

// "<Windows directory>\System32\Drivers\"; empty when the directory cannot be read.
std::string DriverDirectory(Host& host);

}  // namespace mgmt
