// ModelMachine to and from JSON: the host.json that orvalisd publishes and
// the shim reads on Linux. Shape:
//
//   { "version": { "platform": 2, "major": 5, "minor": 1,
//                  "extendedRecord": true, "plainRecord": true },
//     "windowsDirectory": "C:\\WINDOWS",
//     "setupApi": { "present": true, "missing": [ "SetupDiEnumDeviceInterfaces" ] },
//     "registry": { "name": "", "values": { "Name": "text" },
//                   "keys": [ { "name": "System", "values": {...}, "keys": [...] } ] },
//     "interfaces": [ { "class": "{...}", "path": "...", "service": "...",
//                       "description": "..." } ],
//     "files": [ { "path": "...", "version": { "\\StringFileInfo\\...": "..." } } ],
//     "devices": [ { "path": "\\\\.\\Orvalis1", "socket": "board1.sock" } ] }
//
// Reading is lenient and bounded: whatever is malformed is left out (a text
// that is not JSON gives a machine of no family), nesting deeper than
// kMaxJsonDepth is refused before parsing, and nothing ever throws.
#pragma once

#include <string>

#include "mgmt/host/model/ModelMachine.h"

namespace mgmt {

constexpr int kMaxJsonDepth = 64;
constexpr std::size_t kMaxRegistryNameLength = 255;

ModelMachine ReadMachineJson(const std::string& text);
std::string WriteMachineJson(const ModelMachine& machine);

}  // namespace mgmt
