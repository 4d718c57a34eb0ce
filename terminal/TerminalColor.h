// Colours as the terminal stores them: 24-bit RGB with red in the low byte,
// or a system-colour code (high bit set, index in the low byte) that only the
// view resolves, against its palette.
#pragma once

#include <cstdint>

namespace terminal {

using TerminalColor = std::uint32_t;

constexpr TerminalColor kSystemColorFlag = 0x80000000u;

constexpr TerminalColor RgbColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return TerminalColor(red) | TerminalColor(green) << 8 | TerminalColor(blue) << 16;
}

constexpr bool IsSystemColor(TerminalColor color) {
  return (color & kSystemColorFlag) != 0;
}
constexpr int SystemColorIndex(TerminalColor color) {
  return int(color & 0xFF);
}

constexpr TerminalColor kColorBlack = RgbColor(0, 0, 0);
constexpr TerminalColor kColorSilver = RgbColor(0xC0, 0xC0, 0xC0);

// The system colours the terminal window gives its view.
constexpr TerminalColor kColorWindow = kSystemColorFlag | 5;
constexpr TerminalColor kColorWindowText = kSystemColorFlag | 8;

}  // namespace terminal
