// What the terminal needs of the serial port it is attached to. The emulator
// sends typed characters through it; the view registers as a user of the
// port and adds a data handler to its dispatcher. ComPortLink implements it
// over the serial engine's TApdComPort; tests implement it with fakes.
//
// Threads: everything on the GUI thread except TakeInput, which a data
// handler calls on the port's dispatcher thread.
//
// Lifetime: a port may go before the view that holds it. Its free
// notification tells the view, which then forgets the port without calling
// it again. An implementation removes, in its own destructor, the data
// handlers added to it, so that none runs (or still runs) once it is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "platform/Messages.h"

namespace terminal {

class TerminalPort {
 public:
  // Runs on the dispatcher thread for each trigger message: the message and
  // its wParam (for data available, the byte count).
  using DataHandler = std::function<void(platform::UINT msg, platform::WPARAM wParam)>;

  TerminalPort() = default;
  TerminalPort(const TerminalPort&) = delete;
  TerminalPort& operator=(const TerminalPort&) = delete;
  // Sends the free notifications.
  virtual ~TerminalPort() {
    for (auto& [owner, notify] : std::exchange(freeNotifications_, {})) notify();
  }

  virtual bool Open() const = 0;
  virtual bool AutoOpen() const = 0;
  // Opens the port; raises what the port raises when that fails.
  virtual void OpenPort() = 0;
  // Queues one byte for output; only called while the port is open.
  virtual void SendChar(std::uint8_t ch) = 0;

  // The window is sent 0x7E08 once the port has opened and 0x7E09 when it
  // begins to close.
  virtual void AddPortUser(platform::HWND window) = 0;
  virtual void RemovePortUser(platform::HWND window) = 0;

  // Adds the handler to the open port's dispatcher (owner identifies it);
  // false when the port has no dispatcher.
  virtual bool AddDataHandler(const void* owner, DataHandler handler) = 0;
  // Once it returns, the handler neither runs nor is running.
  virtual void RemoveDataHandler(const void* owner) = 0;
  // Dispatcher thread, from a data handler: takes exactly `count` bytes into
  // dest, or nothing (false) when fewer are there.
  virtual bool TakeInput(std::uint8_t* dest, std::size_t count) = 0;

  // Free notification: `notify` runs when the port is destroyed, on the
  // destroying thread, after the port's own clean-up; the port must not be
  // called from it. One per owner: a second replaces the first.
  void FreeNotification(const void* owner, std::function<void()> notify) {
    RemoveFreeNotification(owner);
    freeNotifications_.emplace_back(owner, std::move(notify));
  }
  void RemoveFreeNotification(const void* owner) {
    std::erase_if(freeNotifications_, [owner](const auto& entry) { return entry.first == owner; });
  }

 private:
  std::vector<std::pair<const void*, std::function<void()>>> freeNotifications_;
};

}  // namespace terminal
