// ComPortLink: the terminal's port attachment over the serial engine's port
// component. The owner of the port (the terminal window) keeps one beside it
// and hands it to the view as its ComPort; the link must outlive that use.
//
// Threads: GUI thread, except TakeInput, which the view's data handler calls
// on the port's dispatcher thread. Errors: OpenPort and SendChar raise what
// the port raises (the EAPDException family).
#pragma once

#include <atomic>

#include "serial/ComPort.h"
#include "terminal/TerminalPort.h"

namespace terminal {

class ComPortLink : public TerminalPort {
 public:
  explicit ComPortLink(serial::TApdCustomComPort& port) : port_(port) {}

  bool Open() const override { return port_.Open(); }
  bool AutoOpen() const override { return port_.AutoOpen(); }
  void OpenPort() override { port_.SetOpen(true); }
  void SendChar(std::uint8_t ch) override { port_.SendChar(static_cast<char>(ch)); }
  void AddPortUser(platform::HWND window) override { port_.AddPortUser(window); }
  void RemovePortUser(platform::HWND window) override { port_.RemovePortUser(window); }
  bool AddDataHandler(const void* owner, DataHandler handler) override;
  void RemoveDataHandler(const void* owner) override;
  bool TakeInput(std::uint8_t* dest, std::size_t count) override;

 private:
  serial::TApdCustomComPort& port_;
  // The dispatcher a handler was added to, read on the dispatcher thread.
  std::atomic<serial::TApdBaseDispatcher*> dispatcher_{nullptr};
};

}  // namespace terminal
