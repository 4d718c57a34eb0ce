#include "driver/DriverRequests.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/PortRequest.h"

namespace orvalisd {
namespace {

using namespace mgmt;

Answer Refused() {
  return {};
}

Answer Done(std::vector<std::uint8_t> bytes, std::uint32_t outputRoom) {
  if (bytes.size() > outputRoom) return Refused();
  return {true, std::move(bytes)};
}

std::optional<std::uint32_t> PortIndex(const DriverBoard& board,
                                       std::span<const std::uint8_t> input) {
  return PortIndexOf(input.data(), static_cast<std::uint32_t>(input.size()),
                     static_cast<std::uint32_t>(board.ports.size()));
}

Answer BoardInfo(const DriverBoard& board, std::uint32_t outputRoom) {
  // The shim needs the first two words; a room of at least those gets as much as fits.
  if (outputRoom < 8) return Refused();
  std::vector<std::uint8_t> info(MgmtBoardInfoSize);
  PutU32(info.data(), MgmtBoardInfoWord0, board.identity->word0);
  PutU32(info.data(), MgmtBoardInfoPortCount, static_cast<std::uint32_t>(board.ports.size()));
  PutU32(info.data(), 8, static_cast<std::uint32_t>(board.identity->firstCom));
  PutU32(info.data(), 12, static_cast<std::uint32_t>(board.identity->number));
  info.resize(std::min<std::size_t>(info.size(), outputRoom));
  return {true, std::move(info)};
}

Answer PortNames(const DriverBoard& board, std::uint32_t outputRoom) {
  const auto count = static_cast<std::uint32_t>(board.ports.size());
  std::vector<std::uint8_t> names(MgmtPortNamesFirstEntry + count * MgmtPortNamesEntrySize);
  PutU32(names.data(), MgmtPortNamesCount, count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string name = "COM" + std::to_string(board.ports[i]->ComNumber());
    std::memcpy(names.data() + MgmtPortNamesFirstEntry + i * MgmtPortNamesEntrySize, name.data(),
                name.size());
  }
  return Done(std::move(names), outputRoom);
}

Answer BoardRequest(const DriverBoard& board, std::uint32_t code,
                    std::span<const std::uint8_t> input, std::uint32_t outputRoom) {
  switch (code) {
    case IOCTL_BOARD_FUNCTION_800: {
      const std::size_t count = std::min<std::size_t>(input.size(), outputRoom);
      return {true, std::vector<std::uint8_t>(input.begin(), input.begin() + count)};
    }
    case IOCTL_BOARD_GET_INFO:
      return BoardInfo(board, outputRoom);
    case IOCTL_BOARD_GET_PORT_STATUS:
    case IOCTL_BOARD_GET_PORT_COUNTERS: {
      auto index = PortIndex(board, input);
      if (!index) return Refused();
      const bool status = code == IOCTL_BOARD_GET_PORT_STATUS;
      std::vector<std::uint8_t> record(status ? std::uint32_t{MgmtPortStatusSize}
                                              : std::uint32_t{MgmtPortCountersSize});
      PtyPort& port = *board.ports[*index];
      if (status) {
        // Asked of the kernel now, as a driver would; the status page follows.
        port.Recheck();
        port.FillStatus(record.data());
      } else {
        port.FillCounters(record.data());
      }
      return Done(std::move(record), outputRoom);
    }
    case IOCTL_BOARD_FUNCTION_804: {
      auto index = PortIndex(board, input);
      if (!index) return Refused();
      board.ports[*index]->ClearCounters();
      return {true, {}};
    }
    case IOCTL_BOARD_GET_PORT_NAMES:
      return PortNames(board, outputRoom);
    case IOCTL_BOARD_GET_REGISTRY_PATH: {
      const std::string& path = board.identity->registryPath;
      if (path.empty()) return Refused();
      std::vector<std::uint8_t> text(path.begin(), path.end());
      text.push_back(0);
      return Done(std::move(text), outputRoom);
    }
    default:
      return Refused();
  }
}

}  // namespace

Answer AnswerRequest(std::span<const DriverBoard* const> boards, bool selects, Selection& selection,
                     std::uint32_t code, std::span<const std::uint8_t> input,
                     std::uint32_t outputRoom) {
  if (code == IOCTL_BOARD_SELECT) {
    if (!selects) return Refused();
    const std::string pciPath(input.begin(), input.end());
    for (const DriverBoard* board : boards)
      if (board->identity->pciPath == pciPath) {
        selection.board = board;
        return {true, {}};
      }
    return Refused();
  }
  const DriverBoard* board =
      selects ? selection.board : (boards.empty() ? nullptr : boards.front());
  if (!board) return Refused();
  return BoardRequest(*board, code, input, outputRoom);
}

}  // namespace orvalisd
