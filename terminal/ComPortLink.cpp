#include "terminal/ComPortLink.h"

namespace terminal {

bool ComPortLink::AddDataHandler(const void* owner, DataHandler handler) {
  serial::TApdBaseDispatcher* dispatcher = port_.Dispatcher();
  if (!dispatcher) return false;
  dispatcher_ = dispatcher;
  dispatcher->AddEventHandler(
      owner, [handler = std::move(handler)](platform::UINT msg, platform::WPARAM wParam,
                                            platform::LPARAM) { handler(msg, wParam); });
  return true;
}

void ComPortLink::RemoveDataHandler(const void* owner) {
  if (serial::TApdBaseDispatcher* dispatcher = port_.Dispatcher())
    dispatcher->RemoveEventHandler(owner);
  // A delivery still running finds nothing more to take.
  dispatcher_ = nullptr;
}

bool ComPortLink::TakeInput(std::uint8_t* dest, std::size_t count) {
  serial::TApdBaseDispatcher* dispatcher = dispatcher_;
  return dispatcher && dispatcher->TakeInput(dest, static_cast<std::uint32_t>(count)) == 0;
}

}  // namespace terminal
