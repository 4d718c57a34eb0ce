// The surface the emulator paints terminal cells on. The view implements it
// with its painter; tests record the calls.
#pragma once

#include <cstdint>

#include "terminal/TerminalColor.h"
#include "terminal/TerminalCoords.h"

namespace terminal {

class TerminalCanvas {
 public:
  virtual ~TerminalCanvas() = default;

  // The part of the surface that a Paint call is to cover.
  virtual PixelRect ClipRect() const = 0;

  // Draws `length` characters at (x, y) in `fore` over an opaque `back`
  // filling x .. x + the sum of the advances, y .. y + cellHeight; character
  // i advances exactly advances[i] pixels whatever the font. The colours may
  // be system-colour codes. The pointers are valid during the call only.
  virtual void DrawRun(int x, int y, const char* text, int length, const std::int32_t* advances,
                       int cellHeight, TerminalColor fore, TerminalColor back) = 0;
};

}  // namespace terminal
