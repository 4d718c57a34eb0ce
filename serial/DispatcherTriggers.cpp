// Status triggers, the data-available threshold, and the modem and line state.
#include "serial/Dispatcher.h"

namespace serial {

std::int32_t TApdBaseDispatcher::CreateStatusTrigger(std::uint32_t kind) {
  return triggers_.CreateStatusTrigger(kind);
}

std::int32_t TApdBaseDispatcher::ArmStatusTrigger(std::uint16_t handle, std::uint16_t value,
                                                  bool activate) {
  const std::int32_t result = triggers_.ArmStatusTrigger(handle, value, activate);
  if (result == 0 && activate) WakeDispatchThread();  // its condition may hold already
  return result;
}

std::int32_t TApdBaseDispatcher::RemoveTrigger(std::uint16_t handle) {
  return triggers_.RemoveTrigger(handle);
}

void TApdBaseDispatcher::SetAvailThreshold(std::uint32_t threshold) {
  triggers_.SetAvailThreshold(threshold);
}

std::uint32_t TApdBaseDispatcher::AvailThreshold() const {
  return triggers_.AvailThreshold();
}

SavedTriggers TApdBaseDispatcher::SaveTriggers() const {
  return triggers_.SaveTriggers();
}

void TApdBaseDispatcher::RestoreTriggers(const SavedTriggers& saved) {
  triggers_.RestoreTriggers(saved);
  WakeDispatchThread();
}

// Dispatch thread. Fires at most one trigger: the first armed one, not yet
// fired in this pass, whose condition holds.
bool TApdBaseDispatcher::CheckStatusTriggers() {
  std::uint16_t value = 0;
  const std::uint16_t handle = triggers_.FireNext(output_.Used(), output_.Size(), value);
  if (handle == 0) return false;
  DeliverTrigger(kMsgTriggerStatus, handle, value);
  return true;
}

// Checks status triggers until none fires (or closing begins); each fires at
// most once per pass. With none armed there is nothing to check.
void TApdBaseDispatcher::StatusTriggerPass() {
  if (!triggers_.AnyArmed()) return;
  while (!closing_ && CheckStatusTriggers()) {
  }
  triggers_.EndPass();
}

bool TApdBaseDispatcher::DeviceGone() {
  std::uint32_t lines = 0;  // a modem-line read: it does not block, so no lock
  return device_ && device_->GetCommModemStatus(lines) == platform::kErrorGenFailure;
}

std::uint8_t TApdBaseDispatcher::ReadModemStatus(std::uint8_t clearMask) {
  bool linesChanged = false;
  const std::uint8_t status = triggers_.ReadModemStatus(device_.get(), clearMask, linesChanged);
  if (linesChanged) WakeDispatchThread();  // a modem trigger may fire on the new lines
  return status;
}

std::uint8_t TApdBaseDispatcher::LineError() {
  return triggers_.LineError();
}

bool TApdBaseDispatcher::LineBreak() {
  return triggers_.LineBreak();
}

}  // namespace serial
