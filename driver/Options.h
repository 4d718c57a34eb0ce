// orvalisd's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvalisd {

enum class Family { NT5, NT4, Win9x };

struct BoardOption {
  int ports = 8;
  bool loopback = false;
};

struct Options {
  std::string root;  // empty: the host-root rule
  Family family = Family::NT5;
  std::vector<BoardOption> boards;  // empty: one 8-port board
  int firstCom = 3;
  bool help = false;
};

constexpr int kMaxPortsPerBoard = 256;
constexpr int kMaxComNumber = 256;
constexpr int kMaxBoardsNT4 = 9;  // device numbers 1 to 9

extern const char kUsage[];

// The options, or an error text in error.
std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::string& error);

const char* FamilyName(Family family);

}  // namespace orvalisd
