// The host root shared by the shim and orvalisd: where host.json, the driver
// sockets with their status pages and the COM links live.
#pragma once

#include <string>

#include "platform/HostRoot.h"

namespace mgmt {

// Where the root is and where its COM links go: platform/HostRoot.h.
using platform::ComDevicePath;
using platform::HostRoot;
using platform::kComLinkFolderName;

constexpr char kHostJsonName[] = "host.json";
constexpr char kSocketFolderName[] = "driver";  // 0700, sockets 0600

// The status page beside a driver socket: "board1.sock" has "board1.page"
// (a name without ".sock" gets ".page" added).
std::string StatusPageName(const std::string& socketName);

// A socket name host.json may give: a plain file name in the socket folder
// (letters, digits, '.', '_', '-'; not starting with '.'; at most 64 chars).
bool IsSafeSocketName(const std::string& name);

// COM n from "\\.\COMn" (no other text, n from 1 to 256); 0 when it is none.
int ComNumberOfPath(const std::string& path);

}  // namespace mgmt
