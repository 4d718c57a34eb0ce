#include "driver/Publication.h"

#include <cstdio>

#include "mgmt/Host.h"

namespace orvalisd {
namespace {

constexpr char kInterfaceClass[] = "{A45BE448-4733-4C82-9451-69D4E21C0A24}";
constexpr char kBoardDeviceKey[] = "VEN_7E3A&DEV_00B0&SUBSYS_00B07E3A&REV_01";
constexpr std::uint32_t kBoardDeviceId = 0x00B0;
constexpr char kPortDriver9x[] = "ORVALIS.VXD";
constexpr char kDriverFileNT[] = "orvalis.sys";
constexpr char kService[] = "orvalis";
constexpr char kNT4KeyRoot[] = "System\\CurrentControlSet\\Services\\Orvalis\\Parameters\\Board";
constexpr char kClassRoot[] = "System\\CurrentControlSet\\Services\\Class\\";
constexpr char kMultifunctionClassKey[] = "MultiFunction\\0000";

std::string Hex(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(number));
  return text;
}

std::string Instance9x(int number) {
  char text[32];
  std::snprintf(text, sizeof text, "BUS_01&DEV_%02X&FUNC_00", static_cast<unsigned>(number));
  return text;
}

std::vector<std::pair<std::string, std::string>> VersionValues(const std::string& version) {
  std::vector<std::pair<std::string, std::string>> values;
  for (const char* table : {"040904E4", "040904B0"}) {
    const std::string prefix = std::string("\\StringFileInfo\\") + table + "\\";
    values.emplace_back(prefix + "FileVersion", version);
    values.emplace_back(prefix + "ProductVersion", version);
    values.emplace_back(prefix + "FileDescription", "Orvalis multiport board driver (orvalisd)");
  }
  return values;
}

void AddNT5(const Plan& plan, mgmt::ModelMachine& machine, const std::string& version) {
  machine.version = {mgmt::kVerPlatformWin32NT, 5, 1};
  machine.files.push_back(
      {machine.windowsDirectory + "\\System32\\Drivers\\" + kDriverFileNT, VersionValues(version)});
  for (const auto& board : plan.boards)
    machine.interfaces.push_back(
        {kInterfaceClass, board.devicePath, std::string(kService), board.description});
}

void AddNT4(const Plan& plan, mgmt::ModelMachine& machine, const std::string& version) {
  machine.version = {mgmt::kVerPlatformWin32NT, 4, 0};
  machine.windowsDirectory = "C:\\WINNT";
  machine.files.push_back(
      {machine.windowsDirectory + "\\System32\\Drivers\\" + kDriverFileNT, VersionValues(version)});
  for (const auto& board : plan.boards) {
    auto& key = mgmt::EnsureKey(machine.localMachine, kNT4KeyRoot + std::to_string(board.number));
    mgmt::SetValue(key, "DeviceDescr", board.description);
    mgmt::SetValue(key, "DriverName", kDriverFileNT);
  }
}

void Add9x(const Plan& plan, mgmt::ModelMachine& machine, const std::string& version) {
  machine.version = {mgmt::kVerPlatformWin32Windows, 4, 10};
  machine.files.push_back({kPortDriver9x, VersionValues(version)});
  auto& registry = machine.localMachine;
  // A device of another maker first: the walk must pass over it.
  mgmt::EnsureKey(registry,
                  "Enum\\Pci\\VEN_8086&DEV_7110&SUBSYS_00000000&REV_02\\BUS_00&DEV_07&FUNC_00");
  mgmt::SetValue(mgmt::EnsureKey(registry, std::string(kClassRoot) + kMultifunctionClassKey),
                 "PortDriver", kPortDriver9x);
  for (const auto& board : plan.boards) {
    const std::string instance = Instance9x(board.number);
    auto& key =
        mgmt::EnsureKey(registry, std::string("Enum\\Pci\\") + kBoardDeviceKey + "\\" + instance);
    mgmt::SetValue(key, "Driver", kMultifunctionClassKey);
    mgmt::SetValue(key, "DeviceDesc", board.description);
    mgmt::SetValue(mgmt::EnsureKey(registry, std::string("Enum\\MF\\CHILD0000\\PCI&") +
                                                 kBoardDeviceKey + "&" + instance),
                   "PortName", "COM" + std::to_string(board.firstCom));
  }
}

}  // namespace

Plan MakePlan(const Options& options) {
  Plan plan;
  plan.family = options.family;
  int com = options.firstCom;
  for (std::size_t i = 0; i < options.boards.size(); ++i) {
    BoardIdentity board;
    board.number = static_cast<int>(i) + 1;
    board.ports = options.boards[i].ports;
    board.firstCom = com;
    board.word0 = kBoardDeviceId;
    board.description = "Orvalis PCI " + std::to_string(board.ports) + "-port board " +
                        std::to_string(board.number) + " (COM" + std::to_string(com) + "-COM" +
                        std::to_string(com + board.ports - 1) + ")";
    com += board.ports;
    const std::string hexNumber = Hex(board.number);
    switch (options.family) {
      case Family::NT5:
        board.devicePath = std::string("\\\\?\\pci#ven_7e3a&dev_00b0&subsys_00b07e3a&rev_01#") +
                           "4&2c1f7e&0&" + hexNumber + "0f0#" +
                           "{a45be448-4733-4c82-9451-69d4e21c0a24}";
        break;
      case Family::NT4:
        board.devicePath = "\\\\.\\Orvalis" + hexNumber;
        board.registryPath =
            "\\Registry\\Machine\\" + std::string(kNT4KeyRoot) + std::to_string(board.number);
        break;
      case Family::Win9x:
        board.devicePath = std::string("\\\\.\\") + kPortDriver9x;
        board.pciPath = std::string("Pci\\") + kBoardDeviceKey + "\\" + Instance9x(board.number);
        break;
    }
    plan.boards.push_back(board);
  }
  if (options.family == Family::Win9x) {
    SocketPlan socket{"orvalis.sock", {}, true};
    for (std::size_t i = 0; i < plan.boards.size(); ++i)
      socket.boards.push_back(static_cast<int>(i));
    plan.sockets.push_back(socket);
  } else {
    for (std::size_t i = 0; i < plan.boards.size(); ++i)
      plan.sockets.push_back(
          {"board" + std::to_string(i + 1) + ".sock", {static_cast<int>(i)}, false});
  }
  return plan;
}

mgmt::ModelMachine MakeHostMachine(const Plan& plan, const std::string& driverVersion) {
  mgmt::ModelMachine machine;
  switch (plan.family) {
    case Family::NT5:
      AddNT5(plan, machine, driverVersion);
      break;
    case Family::NT4:
      AddNT4(plan, machine, driverVersion);
      break;
    case Family::Win9x:
      Add9x(plan, machine, driverVersion);
      break;
  }
  for (const auto& socket : plan.sockets)
    machine.devices.push_back({plan.boards[socket.boards.front()].devicePath, socket.name});
  return machine;
}

}  // namespace orvalisd
