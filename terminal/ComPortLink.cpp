#include "terminal/ComPortLink.h"

#include <algorithm>
#include <mutex>

namespace terminal {

// A handler as the dispatcher holds it. Its calls hold the slot's lock, so
// that clearing the slot waits for a call that runs: after that the handler
// (and the link it reaches through TakeInput) is never used again. The
// handler only takes input and posts, so the wait is short and cannot
// deadlock with the GUI thread.
struct ComPortLink::DataSlot {
  const void* owner;
  std::mutex lock;
  DataHandler handler;

  void Call(platform::UINT msg, platform::WPARAM wParam) {
    std::lock_guard guard(lock);
    if (handler) handler(msg, wParam);
  }
  void Clear() {
    std::lock_guard guard(lock);
    handler = nullptr;
  }
};

ComPortLink::~ComPortLink() {
  while (!slots_.empty()) RemoveDataHandler(slots_.back()->owner);
  for (platform::HWND window : users_) port_.RemovePortUser(window);
}

void ComPortLink::AddPortUser(platform::HWND window) {
  port_.AddPortUser(window);
  users_.push_back(window);
}

void ComPortLink::RemovePortUser(platform::HWND window) {
  port_.RemovePortUser(window);
  std::erase(users_, window);
}

bool ComPortLink::AddDataHandler(const void* owner, DataHandler handler) {
  serial::TApdBaseDispatcher* dispatcher = port_.Dispatcher();
  if (!dispatcher) return false;
  dispatcher_ = dispatcher;
  auto slot = std::make_shared<DataSlot>();
  slot->owner = owner;
  slot->handler = std::move(handler);
  slots_.push_back(slot);
  dispatcher->AddEventHandler(owner, [slot](platform::UINT msg, platform::WPARAM wParam,
                                            platform::LPARAM) { slot->Call(msg, wParam); });
  return true;
}

void ComPortLink::RemoveDataHandler(const void* owner) {
  if (serial::TApdBaseDispatcher* dispatcher = port_.Dispatcher())
    dispatcher->RemoveEventHandler(owner);
  std::erase_if(slots_, [owner](const std::shared_ptr<DataSlot>& slot) {
    if (slot->owner != owner) return false;
    slot->Clear();
    return true;
  });
  // A delivery still running finds nothing more to take.
  dispatcher_ = nullptr;
}

bool ComPortLink::TakeInput(std::uint8_t* dest, std::size_t count) {
  serial::TApdBaseDispatcher* dispatcher = dispatcher_;
  return dispatcher && dispatcher->TakeInput(dest, static_cast<std::uint32_t>(count)) == 0;
}

}  // namespace terminal
