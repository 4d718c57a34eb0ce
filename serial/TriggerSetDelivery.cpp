// The trigger set's handler lists and delivery flags.
#include <algorithm>

#include "serial/TriggerSet.h"

namespace serial {

namespace {

auto live = [](const auto& record) { return !record.removed; };

}  // namespace

void TTriggerSet::AddWindowHandler(platform::HWND window) {
  std::lock_guard guard(lock_);
  windowHandlers_.push_back({window, false});
  handlerServiceNeeded_ = true;
}

void TTriggerSet::RemoveWindowHandler(platform::HWND window) {
  std::lock_guard guard(lock_);
  RemoveHandlersLocked(windowHandlers_,
                       [window](const WindowHandlerRecord& r) { return r.window == window; });
}

void TTriggerSet::AddEventHandler(const void* owner, EventHandler handler) {
  std::lock_guard guard(lock_);
  eventHandlers_.push_back({owner, std::make_shared<EventHandler>(std::move(handler)), false});
  handlerServiceNeeded_ = true;
}

void TTriggerSet::RemoveEventHandler(const void* owner) {
  std::lock_guard guard(lock_);
  RemoveHandlersLocked(eventHandlers_,
                       [owner](const EventHandlerRecord& r) { return r.owner == owner; });
}

void TTriggerSet::RecomputeDelivery(DeliveryRequest request) {
  std::lock_guard guard(lock_);
  RecomputeDeliveryLocked(request);
}

void TTriggerSet::RecomputeDeliveryLocked(DeliveryRequest request) {
  const bool otherHandlers =
      std::count_if(windowHandlers_.begin(), windowHandlers_.end(), live) > 1 ||
      std::any_of(eventHandlers_.begin(), eventHandlers_.end(), live);
  switch (request) {
    case DeliveryRequest::Recompute:
      handlerServiceNeeded_ = otherHandlers || portHandlerInstalled_;
      break;
    case DeliveryRequest::PortHandlerInstalled:
      portHandlerInstalled_ = true;
      handlerServiceNeeded_ = true;
      break;
    case DeliveryRequest::PortHandlerRemoved:
      portHandlerInstalled_ = false;
      handlerServiceNeeded_ = otherHandlers;
      break;
  }
}

void TTriggerSet::SetPortHandlerMessages(TriggerMessageSet messages) {
  std::lock_guard guard(lock_);
  portHandlerMessages_ = messages;
}

bool TTriggerSet::BeginDelivery(platform::UINT msg, bool& windows) {
  std::lock_guard guard(lock_);
  if (!handlerServiceNeeded_) return false;
  delivering_ = true;
  windows = (portHandlerInstalled_ && (portHandlerMessages_ & TriggerMessageBit(msg))) ||
            std::count_if(windowHandlers_.begin(), windowHandlers_.end(), live) > 1;
  return true;
}

TTriggerSet::Slot TTriggerSet::EventHandlerAt(std::size_t index,
                                              std::shared_ptr<EventHandler>& handler) const {
  std::lock_guard guard(lock_);
  if (index >= eventHandlers_.size()) return Slot::End;
  if (eventHandlers_[index].removed) return Slot::Removed;
  handler = eventHandlers_[index].handler;
  return Slot::Live;
}

TTriggerSet::Slot TTriggerSet::WindowAt(std::size_t index, platform::HWND& window) const {
  std::lock_guard guard(lock_);
  if (index >= windowHandlers_.size()) return Slot::End;
  if (windowHandlers_[index].removed) return Slot::Removed;
  window = windowHandlers_[index].window;
  return Slot::Live;
}

void TTriggerSet::EndDelivery() {
  std::lock_guard guard(lock_);
  delivering_ = false;
  if (!removalsPending_) return;
  std::erase_if(windowHandlers_, [](const WindowHandlerRecord& r) { return r.removed; });
  std::erase_if(eventHandlers_, [](const EventHandlerRecord& r) { return r.removed; });
  removalsPending_ = false;
  RecomputeDeliveryLocked(DeliveryRequest::Recompute);
}

bool TTriggerSet::Delivering() const {
  std::lock_guard guard(lock_);
  return delivering_;
}

bool TTriggerSet::DeferClose(std::atomic<bool>& closing) {
  std::lock_guard guard(lock_);
  if (delivering_) closing = true;
  return delivering_;
}

}  // namespace serial
