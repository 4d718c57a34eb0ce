// ComPortLink: the terminal's port attachment over the serial engine's port
// component. The owner of the port (the terminal window) keeps one beside it
// and hands it to the view as its ComPort.
//
// Lifetime: the link must not outlive its port component (declare it after
// the component). Destroying the link removes what was registered through it
// (data handlers, waiting for one that runs; port users) from the component,
// then sends its free notification, so a view that still holds it lets go.
//
// Threads: GUI thread, except TakeInput, which the view's data handler calls
// on the port's dispatcher thread. Errors: OpenPort and SendChar raise what
// the port raises (the EAPDException family).
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "serial/ComPort.h"
#include "terminal/TerminalPort.h"

namespace terminal {

class ComPortLink : public TerminalPort {
 public:
  explicit ComPortLink(serial::TApdCustomComPort& port) : port_(port) {}
  ~ComPortLink() override;

  bool Open() const override { return port_.Open(); }
  bool AutoOpen() const override { return port_.AutoOpen(); }
  void OpenPort() override { port_.SetOpen(true); }
  void SendChar(std::uint8_t ch) override { port_.SendChar(static_cast<char>(ch)); }
  void AddPortUser(platform::HWND window) override;
  void RemovePortUser(platform::HWND window) override;
  bool AddDataHandler(const void* owner, DataHandler handler) override;
  void RemoveDataHandler(const void* owner) override;
  bool TakeInput(std::uint8_t* dest, std::size_t count) override;

 private:
  struct DataSlot;

  serial::TApdCustomComPort& port_;
  std::vector<platform::HWND> users_;
  std::vector<std::shared_ptr<DataSlot>> slots_;
  // The dispatcher a handler was added to, read on the dispatcher thread.
  std::atomic<serial::TApdBaseDispatcher*> dispatcher_{nullptr};
};

}  // namespace terminal
