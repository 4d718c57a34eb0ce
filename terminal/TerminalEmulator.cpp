#include "terminal/TerminalEmulator.h"

namespace terminal {

TAdTerminalEmulator::TAdTerminalEmulator() {
  buffer_.OnCursorMoved = [this](TAdTerminalBuffer*, ScreenRow row, Column col) {
    if (terminal_ && terminal_->CursorMovedAssigned()) terminal_->CursorMoved(row, col);
  };
}

bool TAdTerminalEmulator::RepaintPending() {
  return buffer_.IsDisplayDirty() || buffer_.TakeCursorMoved();
}

void TAdTerminalEmulator::TransmitChar(std::uint8_t ch, bool echo) {
  if (!terminal_) return;
  if (echo && terminal_->HalfDuplex()) HandleReceivedBlock(&ch, 1);
  TerminalPort* port = terminal_->ComPort();
  if (port && port->Open()) port->SendChar(ch);
}

}  // namespace terminal
