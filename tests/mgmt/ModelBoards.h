// Model machines with boards for the shim's tests: one builder per platform
// family, and a scripted driver that answers the board driver's requests.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "mgmt/host/model/HostModel.h"

namespace mgmt::test {

struct ScriptedBoard {
  std::uint32_t word0 = 0x28;
  std::uint32_t portCount = 4;
  std::uint32_t firstCom = 3;
  std::string pciPath;       // 9x family: what the select request must carry
  std::string registryPath;  // NT 4: the answer to the registry-path request
};

// One device. On the 9x family it serves several boards and a request
// addresses the board last selected on the same handle; elsewhere it serves
// its one board and refuses the select request.
class ScriptedDriver : public DeviceModel {
 public:
  ScriptedDriver(std::vector<ScriptedBoard> boards, bool needsSelect);

  bool Control(Handle handle, std::uint32_t code, const void* input, std::uint32_t inputLength,
               void* output, std::uint32_t outputLength, std::uint32_t& bytesReturned) override;

  std::set<std::uint32_t> refusedCodes;
  std::set<std::string> refusedSelects;  // PCI paths whose select is refused
  // Answers this many bytes at most (the rest of the caller's buffer stays).
  std::uint32_t replyLimit = ~0u;

 private:
  const ScriptedBoard* BoardFor(Handle handle) const;

  std::vector<ScriptedBoard> boards_;
  bool needsSelect_;
  std::vector<std::pair<Handle, std::size_t>> selected_;
};

struct ModelSetup {
  ModelMachine machine;
  std::vector<std::pair<std::string, std::shared_ptr<ScriptedDriver>>> devices;
  std::vector<std::string> ports;  // openable COM paths
  std::unique_ptr<HostModel> MakeHost() const;
};

// NT 5.1: one interface per board, service "orvalis", description "Board <n>".
ModelSetup MakeNT5Setup(int boards);
// NT 4.0: boards at the given device numbers, described "Board <number>".
ModelSetup MakeNT4Setup(const std::vector<int>& deviceNumbers);
// 9x 4.10: boards as instances of one board device key, plus a key of another
// vendor before it; one shared port driver "ORVALIS.VXD"; described "Board <n>".
ModelSetup Make9xSetup(int boards);

constexpr char kNT5DriverVersion[] = "5.1.2600.7";
constexpr char kNT4DriverVersion[] = "4.0.1381.3";
constexpr char k9xDriverVersion[] = "4.10.2222.1";

}  // namespace mgmt::test
