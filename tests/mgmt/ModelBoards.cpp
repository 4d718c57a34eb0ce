#include "ModelBoards.h"

#include <algorithm>
#include <cstring>

#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"

namespace mgmt::test {
namespace {

constexpr char kInterfaceClass[] = "{A45BE448-4733-4C82-9451-69D4E21C0A24}";

// Writes min(size, limit, room) bytes of answer.
bool Answer(const std::vector<std::uint8_t>& answer, void* output, std::uint32_t outputLength,
            std::uint32_t limit, std::uint32_t& bytesReturned) {
  if (outputLength < answer.size()) return false;
  bytesReturned = std::min<std::uint32_t>(static_cast<std::uint32_t>(answer.size()), limit);
  if (bytesReturned > 0) std::memcpy(output, answer.data(), bytesReturned);
  return true;
}

std::vector<std::uint8_t> PortNames(const ScriptedBoard& board) {
  std::vector<std::uint8_t> names(4 + 16 * board.portCount);
  PutU32(names.data(), 0, board.portCount);
  for (std::uint32_t i = 0; i < board.portCount; ++i) {
    const std::string name = "COM" + std::to_string(board.firstCom + i);
    std::memcpy(names.data() + 4 + 16 * i, name.data(), name.size());
  }
  return names;
}

std::vector<std::uint8_t> PortRecord(std::uint32_t size, std::uint32_t port) {
  std::vector<std::uint8_t> record(size);
  PutU32(record.data(), 0, MgmtPortStatusClosed);
  PutU32(record.data(), 32, 9600 + port);
  return record;
}

}  // namespace

ScriptedDriver::ScriptedDriver(std::vector<ScriptedBoard> boards, bool needsSelect)
    : boards_(std::move(boards)), needsSelect_(needsSelect) {}

const ScriptedBoard* ScriptedDriver::BoardFor(Handle handle) const {
  if (!needsSelect_) return boards_.empty() ? nullptr : &boards_.front();
  for (const auto& [owner, index] : selected_)
    if (owner == handle) return &boards_[index];
  return nullptr;
}

bool ScriptedDriver::Control(Handle handle, std::uint32_t code, const void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                             std::uint32_t& bytesReturned) {
  bytesReturned = 0;
  if (refusedCodes.count(code)) return false;
  if (code == IOCTL_BOARD_SELECT) {
    if (!needsSelect_) return false;
    const std::string path(static_cast<const char*>(input), inputLength);
    if (refusedSelects.count(path)) return false;
    for (std::size_t i = 0; i < boards_.size(); ++i)
      if (boards_[i].pciPath == path) {
        std::erase_if(selected_, [&](const auto& entry) { return entry.first == handle; });
        selected_.emplace_back(handle, i);
        return true;
      }
    return false;
  }
  const ScriptedBoard* board = BoardFor(handle);
  if (!board) return false;
  switch (code) {
    case IOCTL_BOARD_GET_INFO: {
      std::vector<std::uint8_t> info(MgmtBoardInfoSize);
      PutU32(info.data(), 0, board->word0);
      PutU32(info.data(), 4, board->portCount);
      return Answer(info, output, outputLength, replyLimit, bytesReturned);
    }
    case IOCTL_BOARD_GET_PORT_NAMES:
      return Answer(PortNames(*board), output, outputLength, replyLimit, bytesReturned);
    case IOCTL_BOARD_GET_PORT_STATUS:
    case IOCTL_BOARD_GET_PORT_COUNTERS: {
      if (inputLength < 4) return false;
      const std::uint32_t port = GetU32(input, 0);
      if (port >= board->portCount) return false;
      const std::uint32_t size = code == IOCTL_BOARD_GET_PORT_STATUS
                                     ? std::uint32_t{MgmtPortStatusSize}
                                     : std::uint32_t{MgmtPortCountersSize};
      return Answer(PortRecord(size, port), output, outputLength, replyLimit, bytesReturned);
    }
    case IOCTL_BOARD_GET_REGISTRY_PATH: {
      std::vector<std::uint8_t> text(board->registryPath.begin(), board->registryPath.end());
      text.push_back(0);
      return Answer(text, output, outputLength, replyLimit, bytesReturned);
    }
    case IOCTL_BOARD_FUNCTION_800:
    case IOCTL_BOARD_FUNCTION_804:
      return true;
    default:
      return false;
  }
}

std::unique_ptr<HostModel> ModelSetup::MakeHost() const {
  auto host = std::make_unique<HostModel>(machine);
  for (const auto& [path, driver] : devices) host->AttachDevice(path, driver);
  for (const auto& port : ports) host->AttachDevice(port, nullptr);
  return host;
}

ModelSetup MakeNT5Setup(int boards) {
  ModelSetup setup;
  setup.machine.version = {kVerPlatformWin32NT, 5, 1};
  setup.machine.files.push_back(
      {"C:\\WINDOWS\\System32\\Drivers\\orvalis.sys",
       {{"\\StringFileInfo\\040904B0\\ProductVersion", kNT5DriverVersion}}});
  for (int n = 1; n <= boards; ++n) {
    const std::string path =
        "\\\\?\\pci#ven_7e3a&dev_0028#" + std::to_string(n) + "#" + std::string(kInterfaceClass);
    setup.machine.interfaces.push_back(
        {kInterfaceClass, path, "orvalis", "Board " + std::to_string(n)});
    ScriptedBoard board;
    board.word0 = 0x100 + n;
    board.portCount = 4 * n;
    board.firstCom = 10 * n;
    setup.devices.emplace_back(
        path, std::make_shared<ScriptedDriver>(std::vector<ScriptedBoard>{board}, false));
  }
  return setup;
}

ModelSetup MakeNT4Setup(const std::vector<int>& deviceNumbers) {
  ModelSetup setup;
  setup.machine.version = {kVerPlatformWin32NT, 4, 0};
  setup.machine.windowsDirectory = "C:\\WINNT";
  setup.machine.files.push_back(
      {"C:\\WINNT\\System32\\Drivers\\orvalis.sys",
       {{"\\StringFileInfo\\040904B0\\ProductVersion", kNT4DriverVersion}}});
  for (int number : deviceNumbers) {
    const std::string keyPath =
        "System\\CurrentControlSet\\Services\\Orvalis\\Board" + std::to_string(number);
    ModelRegistryKey& key = EnsureKey(setup.machine.localMachine, keyPath);
    SetValue(key, "DeviceDescr", "Board " + std::to_string(number));
    SetValue(key, "DriverName", "orvalis.sys");
    ScriptedBoard board;
    board.word0 = 0x200 + number;
    board.portCount = 8;
    board.registryPath = "\\Registry\\Machine\\" + keyPath;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%x", number);
    setup.devices.emplace_back(
        "\\\\.\\Orvalis" + std::string(hex),
        std::make_shared<ScriptedDriver>(std::vector<ScriptedBoard>{board}, false));
  }
  return setup;
}

ModelSetup Make9xSetup(int boards) {
  ModelSetup setup;
  setup.machine.version = {kVerPlatformWin32Windows, 4, 10};
  setup.machine.files.push_back(
      {"ORVALIS.VXD", {{"\\StringFileInfo\\040904E4\\FileVersion", k9xDriverVersion}}});
  const std::string device = "VEN_7E3A&DEV_00B0&SUBSYS_00B07E3A&REV_01";
  EnsureKey(setup.machine.localMachine, "Enum\\Pci\\VEN_8086&DEV_7110&SUBSYS_00000000&REV_02");
  EnsureKey(setup.machine.localMachine, "Enum\\Pci\\" + device);
  SetValue(EnsureKey(setup.machine.localMachine,
                     "System\\CurrentControlSet\\Services\\Class\\MultiFunction\\0000"),
           "PortDriver", "ORVALIS.VXD");
  std::vector<ScriptedBoard> scripted;
  for (int n = 1; n <= boards; ++n) {
    const std::string instance = "BUS_01&DEV_0" + std::to_string(n) + "&FUNC_00";
    ModelRegistryKey& key =
        EnsureKey(setup.machine.localMachine, "Enum\\Pci\\" + device + "\\" + instance);
    SetValue(key, "Driver", "MultiFunction\\0000");
    SetValue(key, "DeviceDesc", "Board " + std::to_string(n));
    const int firstCom = 10 * n;
    SetValue(EnsureKey(setup.machine.localMachine,
                       "Enum\\MF\\CHILD0000\\PCI&" + device + "&" + instance),
             "PortName", "COM" + std::to_string(firstCom));
    setup.ports.push_back("\\\\.\\COM" + std::to_string(firstCom));
    ScriptedBoard board;
    board.word0 = 0x300 + n;
    board.portCount = 2 * n;
    board.firstCom = firstCom;
    board.pciPath = "Pci\\" + device + "\\" + instance;
    scripted.push_back(board);
  }
  setup.devices.emplace_back("\\\\.\\ORVALIS.VXD",
                             std::make_shared<ScriptedDriver>(scripted, true));
  return setup;
}

}  // namespace mgmt::test
