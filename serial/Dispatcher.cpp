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
  std::lock_guard guard(threadLock_);
  return started_;
}

bool TApdBaseDispatcher::Delivering() const {
  return triggers_.Delivering();
}

void TApdBaseDispatcher::PostWhenStopped(platform::HWND window, platform::UINT msg,
                                         platform::WPARAM wParam, platform::LPARAM lParam) {
  {
    std::lock_guard guard(threadLock_);
    if (started_) {
      stopNotice_ = {window, msg, wParam, lParam};
      return;
    }
  }
  platform::PostMessage(window, msg, wParam, lParam);
}

void TApdBaseDispatcher::AddWindowHandler(platform::HWND window) {
  triggers_.AddWindowHandler(window);
}

void TApdBaseDispatcher::RemoveWindowHandler(platform::HWND window) {
  triggers_.RemoveWindowHandler(window);
}

void TApdBaseDispatcher::AddEventHandler(const void* owner, EventHandler handler) {
  triggers_.AddEventHandler(owner, std::move(handler));
}

void TApdBaseDispatcher::RemoveEventHandler(const void* owner) {
  triggers_.RemoveEventHandler(owner);
}

void TApdBaseDispatcher::RecomputeDelivery(DeliveryRequest request) {
  triggers_.RecomputeDelivery(request);
}

void TApdBaseDispatcher::SetPortHandlerMessages(TriggerMessageSet messages) {
  triggers_.SetPortHandlerMessages(messages);
}

// Runs on the dispatch thread. No lock is held while a handler runs, so a
// handler may take input, queue output, arm triggers or close the port.
TApdBaseDispatcher::DeliveryResult TApdBaseDispatcher::DeliverTrigger(platform::UINT msg,
                                                                      platform::WPARAM wParam,
                                                                      std::uint16_t lowWord) {
  using Slot = TTriggerSet::Slot;
  const bool dataDelivery = msg == kMsgTriggerAvail;
  bool windows = false;
  if (!triggers_.BeginDelivery(msg, windows)) return DeliveryResult::Taken;
  input_.BeginDelivery(dataDelivery);
  const auto lParam = static_cast<platform::LPARAM>(lowWord | std::uint32_t(handle_) << 16);

  bool stopped = false;
  for (std::size_t i = 0; !stopped; ++i) {
    std::shared_ptr<EventHandler> handler;
    const Slot slot = triggers_.EventHandlerAt(i, handler);
    if (slot == Slot::End) break;
    if (slot == Slot::Removed) continue;
    // A faulty handler must not take the dispatch thread (and with it the
    // port's close) down: its exception is shown and delivery goes on.
    try {
      (*handler)(msg, wParam, lParam);
    } catch (const std::exception& error) {
      ShowException(error);
    } catch (...) {
      ShowUnknownException();
    }
    input_.NoteTake();
    stopped = closing_;
  }
  for (std::size_t i = 0; windows && !stopped; ++i) {
    platform::HWND window = 0;
    const Slot slot = triggers_.WindowAt(i, window);
    if (slot == Slot::End) break;
    if (slot == Slot::Removed) continue;
    platform::SendMessageTimeout(window, msg, wParam, lParam, kWindowSendTimeout);
    input_.NoteTake();
    stopped = closing_;
  }

  const bool allTaken = input_.EndDelivery(dataDelivery, static_cast<std::uint32_t>(wParam));
  triggers_.EndDelivery();
  return stopped || !allTaken ? DeliveryResult::NotTaken : DeliveryResult::Taken;
}

std::unique_ptr<platform::CommDevice> TApdWin32Dispatcher::OpenDevice(const std::string& name,
                                                                      std::uint32_t& error) {
  return platform::OpenCommDevice(name, error);
}

}  // namespace serial
