// The COM namespace on POSIX: the machine's serial devices numbered as Wine
// numbers them, and the folder under which the machine is read.
#pragma once

#include <string>
#include <vector>

#include "platform/ComNamespace.h"

namespace platform {

// Where the machine's /dev, /sys and /proc are read: empty for the real
// ones. Tests point it at a folder holding dev/, sys/ and proc/ stand-ins;
// the program never sets it. Setting it numbers the devices afresh.
std::string SystemRoot();
void SetSystemRoot(const std::string& root);

// COM numbers as a Windows program under Wine gets them: every comN link in
// <hostRoot>/dosdevices keeps N (dangling or not); then <systemRoot>/dev/
// ttyS0, ttyS1, ... up to the first missing node, then ttyUSB0, ..., then
// ttyACM0, ..., each taking the lowest free number from COM1 up. Nodes are
// found by name, following links; a device that a link already names keeps
// only the link's number. Entry n (1 ... kMaxComNumber) is COM n's path,
// empty where no device has the number; entry 0 is always empty.
std::vector<std::string> NumberComDevices(const std::string& systemRoot,
                                          const std::string& hostRoot);

}  // namespace platform
