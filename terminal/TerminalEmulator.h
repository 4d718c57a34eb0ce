// TAdTerminalEmulator: the contract between a terminal view and the emulator
// that interprets received bytes, turns typed characters into bytes for the
// port and paints the screen buffer on the view's canvas.
//
// The emulator owns its screen buffer. It is attached to at most one view
// (`Terminal`), which it does not own. The base class interprets nothing and
// paints nothing; TAdTTYEmulator is the one this system uses. GUI thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terminal/TerminalBuffer.h"
#include "terminal/TerminalHost.h"

namespace terminal {

// Modifier keys held with a key-down.
enum KeyShift : unsigned {
  kShiftKey = 1,
  kCtrlKey = 2,
  kAltKey = 4,
};

class TAdTerminalEmulator {
 public:
  TAdTerminalEmulator();
  TAdTerminalEmulator(const TAdTerminalEmulator&) = delete;
  TAdTerminalEmulator& operator=(const TAdTerminalEmulator&) = delete;
  virtual ~TAdTerminalEmulator() = default;

  TAdTerminalBuffer& Buffer() { return buffer_; }
  const TAdTerminalBuffer& Buffer() const { return buffer_; }

  // The attached view; nullptr detaches.
  TerminalHost* Terminal() const { return terminal_; }
  virtual void SetTerminal(TerminalHost* terminal) { terminal_ = terminal; }
  // Set by a view for the emulator it creates for itself.
  bool BuiltIn() const { return builtIn_; }
  void SetBuiltIn(bool builtIn) { builtIn_ = builtIn; }

  // Whether anything awaits DeferredRepaint. Reading clears the buffer's
  // cursor-moved flag when nothing else is pending.
  virtual bool RepaintPending();
  virtual void EraseEverything() {}
  // Sends a byte through the view's port when it is open (dropped
  // otherwise); with `echo` and the view's HalfDuplex on, shows it first as
  // if it had been received.
  virtual void TransmitChar(std::uint8_t ch, bool echo);
  // A key may be consumed by setting it to 0.
  virtual void KeyDown(int& key, unsigned shift) {
    (void)key;
    (void)shift;
  }
  // A typed character; it may be consumed by setting it to 0.
  virtual void KeyPress(std::uint8_t& ch) { (void)ch; }
  // Paints what changed since the last repaint.
  virtual void DeferredRepaint() {}
  // Paints the canvas clip area.
  virtual void Paint() {}
  virtual void HandleReceivedBlock(const std::uint8_t* bytes, std::size_t count) {
    (void)bytes;
    (void)count;
  }

 protected:
  TAdTerminalBuffer buffer_;
  TerminalHost* terminal_ = nullptr;
  bool builtIn_ = false;
};

}  // namespace terminal
