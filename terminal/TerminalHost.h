// What an emulator needs of the terminal view it is attached to. The view
// implements it; tests implement it without a window. All calls are made on
// the GUI thread.
#pragma once

#include "terminal/TerminalCanvas.h"
#include "terminal/TerminalColor.h"
#include "terminal/TerminalCoords.h"
#include "terminal/TerminalPort.h"

namespace terminal {

class TerminalHost {
 public:
  virtual ~TerminalHost() = default;

  // The surface of the current paint or repaint.
  virtual TerminalCanvas& Canvas() = 0;
  // The view's background colour and its font's colour.
  virtual TerminalColor Color() const = 0;
  virtual TerminalColor FontColor() const = 0;
  virtual bool HalfDuplex() const = 0;
  // nullptr when the view has no port.
  virtual TerminalPort* ComPort() const = 0;
  // The view's OnCursorMoved event: whether it is assigned, and raising it.
  virtual bool CursorMovedAssigned() const = 0;
  virtual void CursorMoved(ScreenRow row, Column col) = 0;
  // Cell size in pixels.
  virtual int CharWidth() const = 0;
  virtual int CharHeight() const = 0;
  // The buffer column and screen row shown at the top-left corner, and the
  // number of columns and rows shown, counting a partly visible last one.
  virtual Column ClientLeftCol() const = 0;
  virtual ScreenRow ClientTopRow() const = 0;
  virtual int ClientCols() const = 0;
  virtual int ClientRows() const = 0;
  // The platform's information beep.
  virtual void Beep() = 0;
};

}  // namespace terminal
