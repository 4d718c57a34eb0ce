#include "driver/Options.h"

#include <charconv>

namespace orvalisd {

const char kUsage[] =
    "Usage: orvalisd [--root DIR] [--family nt5|nt4|9x] [--board PORTS[:loopback]]...\n"
    "                [--first-com N]\n"
    "\n"
    "Simulates the maker's multiport serial boards for the management library.\n"
    "Every board port is a pseudo-terminal linked as DIR/dosdevices/comN; the\n"
    "boards answer the driver's requests on unix sockets in DIR/driver, beside\n"
    "each a status page (NAME.page) that holds the ports' status and counters,\n"
    "kept current; DIR/host.json describes the boards as the chosen Windows\n"
    "family would.\n"
    "\n"
    "  --root DIR       host root (default: $QUOR_HOST_ROOT, else\n"
    "                   $XDG_RUNTIME_DIR/quor, else /tmp/quor-<uid>)\n"
    "  --family F       nt5 (default), nt4 (at most 9 boards) or 9x\n"
    "  --board PORTS[:loopback]\n"
    "                   a board of PORTS ports (1 to 256); ':loopback' plugs a\n"
    "                   loopback into every port, echoing at the port's baud\n"
    "                   rate. Repeat for more boards; none gives one 8-port board.\n"
    "  --first-com N    COM number of the first port (default 3); the ports of\n"
    "                   all boards are numbered on from it, up to COM256\n"
    "  --help           this text\n"
    "\n"
    "Driver requests 0x800 and 0x804: 0x800 echoes its input into its output\n"
    "(as much as fits); 0x804 takes a u32 port index and clears that port's\n"
    "byte and error counters.\n"
    "\n"
    "Stops on SIGINT or SIGTERM, removing host.json, its sockets, pages and links.\n";

namespace {

std::optional<int> ParseNumber(const std::string& text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<BoardOption> ParseBoard(const std::string& text) {
  BoardOption board;
  std::string ports = text;
  if (auto colon = text.find(':'); colon != std::string::npos) {
    if (text.substr(colon + 1) != "loopback") return std::nullopt;
    board.loopback = true;
    ports = text.substr(0, colon);
  }
  auto count = ParseNumber(ports);
  if (!count || *count < 1 || *count > kMaxPortsPerBoard) return std::nullopt;
  board.ports = *count;
  return board;
}

}  // namespace

const char* FamilyName(Family family) {
  switch (family) {
    case Family::NT5:
      return "nt5";
    case Family::NT4:
      return "nt4";
    case Family::Win9x:
      return "9x";
  }
  return "";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      return options;
    }
    if (argument != "--root" && argument != "--family" && argument != "--board" &&
        argument != "--first-com") {
      error = "unknown option '" + argument + "'";
      return std::nullopt;
    }
    if (i + 1 >= arguments.size()) {
      error = argument + " needs a value";
      return std::nullopt;
    }
    const std::string& value = arguments[++i];
    if (argument == "--root") {
      if (value.empty()) {
        error = "--root needs a folder";
        return std::nullopt;
      }
      options.root = value;
    } else if (argument == "--family") {
      if (value == "nt5") {
        options.family = Family::NT5;
      } else if (value == "nt4") {
        options.family = Family::NT4;
      } else if (value == "9x") {
        options.family = Family::Win9x;
      } else {
        error = "--family must be nt5, nt4 or 9x, not '" + value + "'";
        return std::nullopt;
      }
    } else if (argument == "--board") {
      auto board = ParseBoard(value);
      if (!board) {
        error = "--board wants PORTS (1 to 256) or PORTS:loopback, not '" + value + "'";
        return std::nullopt;
      }
      options.boards.push_back(*board);
    } else {
      auto first = ParseNumber(value);
      if (!first || *first < 1 || *first > kMaxComNumber) {
        error = "--first-com wants a COM number from 1 to 256, not '" + value + "'";
        return std::nullopt;
      }
      options.firstCom = *first;
    }
  }
  if (options.boards.empty()) options.boards.push_back(BoardOption{});
  int ports = 0;
  for (const auto& board : options.boards) ports += board.ports;
  if (options.firstCom + ports - 1 > kMaxComNumber) {
    error = "the boards' " + std::to_string(ports) + " ports from COM" +
            std::to_string(options.firstCom) + " would go past COM256";
    return std::nullopt;
  }
  if (options.family == Family::NT4 && options.boards.size() > kMaxBoardsNT4) {
    error = "nt4 has device numbers for 9 boards at most";
    return std::nullopt;
  }
  return options;
}

}  // namespace orvalisd
