// A management library whose boards a test scripts: what each command
// answers, and whether it fails. Built as shared libraries that the real
// binding loads; the test reaches the script through the export ScriptShim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app_test {

struct ScriptedPort {
  bool statusFails = false;
  bool countersFails = false;
  std::uint32_t openState = 1;  // 1 closed
  std::uint8_t rts = 0, cts = 0, dtr = 0, dsr = 0, ri = 0, cd = 0;
  std::uint32_t baud = 0, baudCopy = 0, dataBitsCode = 0, stopBits = 0, parity = 0;
  std::uint32_t bytesTransmitted = 0, bytesReceived = 0;
  std::uint32_t errors[3] = {0, 0, 0};
};

struct ScriptedBoard {
  bool summaryFails = false;
  std::uint32_t portCount = 0;
  bool nameFails = false;
  std::string name;
  bool driverInfoFails = false;
  std::string driverVersion;
  bool namesFails = false;
  std::vector<std::string> portNames;
  std::vector<ScriptedPort> ports;  // by port index
};

struct ShimScript {
  std::uint32_t version = 1;
  bool boardCountFails = false;
  std::vector<ScriptedBoard> boards;  // board 1 first
  int requests = 0;                   // MgmtCommand calls seen
};

// The export: the library answers from *script until it is called again.
using ScriptShimFunction = void (*)(ShimScript* script);

}  // namespace app_test
