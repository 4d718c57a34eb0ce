// What orvalisd publishes for the shim: the boards' Windows-side identities
// for the chosen family, the host.json that describes them, and which socket
// serves which boards.
#pragma once

#include <string>
#include <vector>

#include "driver/Options.h"
#include "mgmt/host/model/ModelMachine.h"

namespace orvalisd {

struct BoardIdentity {
  int number = 0;  // 1-based, in command-line order
  int ports = 0;
  int firstCom = 0;
  std::uint32_t word0 = 0;   // board information word 0: the PCI device ID
  std::string devicePath;    // the path the shim opens
  std::string pciPath;       // 9x: what IOCTL_BOARD_SELECT carries
  std::string registryPath;  // NT 4: IOCTL_BOARD_GET_REGISTRY_PATH's answer
  std::string description;
};

// One listening socket and the boards it serves (several on the 9x family,
// where one port driver serves every board and a select picks one).
struct SocketPlan {
  std::string name;
  std::vector<int> boards;  // indexes into the identities
  bool selects = false;
};

struct Plan {
  Family family = Family::NT5;
  std::vector<BoardIdentity> boards;
  std::vector<SocketPlan> sockets;
};

Plan MakePlan(const Options& options);

// The Windows machine the family's discovery walk will find the boards in.
mgmt::ModelMachine MakeHostMachine(const Plan& plan, const std::string& driverVersion);

}  // namespace orvalisd
