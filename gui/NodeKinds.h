// The device tree's node kinds and a port's status words: the main window
// stores and shows them, a terminal window asks for and sets them.
#pragma once

#include <cstdint>

namespace gui {

// Node kinds of the device tree, as its node records store them.
enum TNodeType : std::uint8_t {
  ntBoard = 0,
  ntBoardPort = 1,
  ntOtherPortsGroup = 2,
  ntOtherPort = 3
};

// Port status words, shown for a board port as its ComStatusInformation.
constexpr const char* kPortStatusNotInUse = "Not in use.";
constexpr const char* kPortStatusInUseByOther = "In use by another application.";
constexpr const char* kPortStatusInUseByUs = "In use by Quor Tallyport.";

}  // namespace gui
