// The dispatcher's registry, handler lists and delivery.
#include "serial/Dispatcher.h"

#include <algorithm>

#include "serial/ExceptionDisplay.h"

namespace serial {
namespace {

std::mutex registryLock;
std::vector<TApdBaseDispatcher*>& Registry() {
  static std::vector<TApdBaseDispatcher*> registry;
  return registry;
}

}  // namespace

TApdBaseDispatcher::TApdBaseDispatcher() {
  std::lock_guard guard(registryLock);
  auto& registry = Registry();
  auto slot = std::find(registry.begin(), registry.end(), nullptr);
  if (slot == registry.end()) slot = registry.insert(registry.end(), nullptr);
  *slot = this;
  handle_ = static_cast<std::uint16_t>(slot - registry.begin());
}

TApdBaseDispatcher::~TApdBaseDispatcher() {
  CloseDevice();
  WaitForThreadsToEnd();
  JoinThreads();
  device_.reset();
  std::lock_guard guard(registryLock);
  auto& registry = Registry();
  registry[handle_] = nullptr;
  while (!registry.empty() && registry.back() == nullptr) registry.pop_back();
}

TApdBaseDispatcher* TApdBaseDispatcher::FromHandle(std::uint16_t handle) {
  std::lock_guard guard(registryLock);
  const auto& registry = Registry();
  return handle < registry.size() ? registry[handle] : nullptr;
}

bool TApdBaseDispatcher::Started() const {
  std::lock_guard guard(mainLock_);
  return started_;
}

bool TApdBaseDispatcher::Delivering() const {
  std::lock_guard guard(mainLock_);
  return delivering_;
}

void TApdBaseDispatcher::PostWhenStopped(platform::HWND window, platform::UINT msg,
                                         platform::WPARAM wParam, platform::LPARAM lParam) {
  {
    std::lock_guard guard(mainLock_);
    if (started_) {
      stopNotice_ = {window, msg, wParam, lParam};
      return;
    }
  }
  platform::PostMessage(window, msg, wParam, lParam);
}

void TApdBaseDispatcher::AddWindowHandler(platform::HWND window) {
  std::lock_guard guard(mainLock_);
  windowHandlers_.push_back({window, false});
  handlerServiceNeeded_ = true;
}

void TApdBaseDispatcher::RemoveWindowHandler(platform::HWND window) {
  std::lock_guard guard(mainLock_);
  for (auto& record : windowHandlers_) {
    if (record.window == window) record.removed = true;
  }
  if (delivering_) {
    removalsPending_ = true;
    return;
  }
  std::erase_if(windowHandlers_, [](const WindowHandlerRecord& r) { return r.removed; });
  RecomputeDeliveryLocked(DeliveryRequest::Recompute);
}

void TApdBaseDispatcher::AddEventHandler(const void* owner, EventHandler handler) {
  std::lock_guard guard(mainLock_);
  eventHandlers_.push_back({owner, std::make_shared<EventHandler>(std::move(handler)), false});
  handlerServiceNeeded_ = true;
}

void TApdBaseDispatcher::RemoveEventHandler(const void* owner) {
  std::lock_guard guard(mainLock_);
  for (auto& record : eventHandlers_) {
    if (record.owner == owner) record.removed = true;
  }
  if (delivering_) {
    removalsPending_ = true;
    return;
  }
  std::erase_if(eventHandlers_, [](const EventHandlerRecord& r) { return r.removed; });
  RecomputeDeliveryLocked(DeliveryRequest::Recompute);
}

void TApdBaseDispatcher::RecomputeDelivery(DeliveryRequest request) {
  std::lock_guard guard(mainLock_);
  RecomputeDeliveryLocked(request);
}

void TApdBaseDispatcher::RecomputeDeliveryLocked(DeliveryRequest request) {
  auto live = [](const auto& record) { return !record.removed; };
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

// Runs on the dispatch thread. No lock is held while a handler runs, so a
// handler may take input, queue output, arm triggers or close the port.
TApdBaseDispatcher::DeliveryResult TApdBaseDispatcher::DeliverTrigger(platform::UINT msg,
                                                                      platform::WPARAM wParam,
                                                                      std::uint16_t lowWord) {
  const bool dataDelivery = msg == kMsgTriggerAvail;
  bool windows = false;
  {
    std::lock_guard guard(mainLock_);
    if (!handlerServiceNeeded_) return DeliveryResult::Taken;
    delivering_ = true;
    windows = portHandlerInstalled_ || std::count_if(windowHandlers_.begin(), windowHandlers_.end(),
                                                     [](const auto& r) { return !r.removed; }) > 1;
  }
  {
    std::lock_guard guard(inputLock_);
    largestTake_ = 0;
    takeCount_ = 0;
    if (dataDelivery) deliveringData_ = true;
  }
  const auto lParam = static_cast<platform::LPARAM>(lowWord | std::uint32_t(handle_) << 16);
  auto noteTake = [this] {
    std::lock_guard guard(inputLock_);
    largestTake_ = std::max(largestTake_, takeCount_);
    takeCount_ = 0;
  };

  bool stopped = false;
  for (std::size_t i = 0; !stopped; ++i) {
    std::shared_ptr<EventHandler> handler;
    {
      std::lock_guard guard(mainLock_);
      if (i >= eventHandlers_.size()) break;
      if (eventHandlers_[i].removed) continue;
      handler = eventHandlers_[i].handler;
    }
    // A faulty handler must not take the dispatch thread (and with it the
    // port's close) down: its exception is shown and delivery goes on.
    try {
      (*handler)(msg, wParam, lParam);
    } catch (const std::exception& error) {
      ShowException(error);
    } catch (...) {
      ShowUnknownException();
    }
    noteTake();
    stopped = closing_;
  }
  for (std::size_t i = 0; windows && !stopped; ++i) {
    platform::HWND window = 0;
    {
      std::lock_guard guard(mainLock_);
      if (i >= windowHandlers_.size()) break;
      if (windowHandlers_[i].removed) continue;
      window = windowHandlers_[i].window;
    }
    platform::SendMessageTimeout(window, msg, wParam, lParam, kWindowSendTimeout);
    noteTake();
    stopped = closing_;
  }

  DeliveryResult result = stopped ? DeliveryResult::NotTaken : DeliveryResult::Taken;
  if (dataDelivery) {
    std::lock_guard guard(inputLock_);
    deliveringData_ = false;
    if (!dispatchBuffer_.empty()) inRead_ = (inRead_ + largestTake_) % kDispatchBufferSize;
    if (largestTake_ != 0) inFull_ = false;
    if (largestTake_ != wParam) result = DeliveryResult::NotTaken;
  }
  {
    std::lock_guard guard(mainLock_);
    delivering_ = false;
    if (removalsPending_) {
      std::erase_if(windowHandlers_, [](const WindowHandlerRecord& r) { return r.removed; });
      std::erase_if(eventHandlers_, [](const EventHandlerRecord& r) { return r.removed; });
      removalsPending_ = false;
      RecomputeDeliveryLocked(DeliveryRequest::Recompute);
    }
  }
  std::lock_guard guard(inputLock_);
  takeCount_ = 0;
  return result;
}

std::unique_ptr<platform::CommDevice> TApdWin32Dispatcher::OpenDevice(const std::string& name,
                                                                      std::uint32_t& error) {
  return platform::OpenCommDevice(name, error);
}

}  // namespace serial
