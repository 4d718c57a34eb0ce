// TNodeData: the record the main window keeps for each node of the device
// tree, addressed by the node's absolute index; the panels show them.
#pragma once

#include <cstdint>
#include <string>

#include "app/MgmtRecords.h"
#include "gui/NodeKinds.h"

namespace app {

using gui::ntBoard;
using gui::ntBoardPort;
using gui::ntOtherPort;
using gui::ntOtherPortsGroup;

// One per tree node, addressed by the node's absolute index.
struct TNodeData {
  std::uint8_t NodeType = ntBoard;
  bool InUseByOther = false;
  bool InUseByUs = false;
  bool IsBoardPort = false;
  std::int32_t ComNumber = 0;
  std::int32_t BoardNumber = 0;
  std::int32_t PortIndex = 0;
  PortStatusRecord PortStatus;
  PortCountersRecord PortCounters;
  bool TxActive = false;
  bool RxActive = false;
  std::int32_t PortCount = 0;
  std::string DriverVersion;
};

}  // namespace app
