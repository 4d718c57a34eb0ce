#include <windows.h>

#include <stdexcept>

#include "platform/Events.h"

namespace platform {

AutoResetEvent::AutoResetEvent() : handle_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (!handle_) throw std::runtime_error("CreateEvent failed");
}

AutoResetEvent::~AutoResetEvent() {
  if (handle_) CloseHandle(handle_);
}

void AutoResetEvent::Set() {
  SetEvent(handle_);
}

void AutoResetEvent::ResetEvent() {
  ::ResetEvent(handle_);
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
  const auto ms = timeout.count() < 0           ? 0
                  : timeout.count() >= INFINITE ? INFINITE - 1
                                                : timeout.count();
  return WaitForSingleObject(handle_, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

void AutoResetEvent::Wait() {
  WaitForSingleObject(handle_, INFINITE);
}

}  // namespace platform
