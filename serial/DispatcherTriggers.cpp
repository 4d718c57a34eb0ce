// Status triggers, the data-available threshold, and the modem and line state.
#include <algorithm>

#include "serial/Dispatcher.h"
#include "serial/ErrorCodes.h"

namespace serial {

namespace {

constexpr std::uint32_t kHandleStep = 8;
constexpr std::uint32_t kCountedHandles = 4096;  // counter values handed out in turn
constexpr std::uint32_t kMaxStatusKind = 5;

// Caller's line-error mask bits to the dispatcher's line error bits.
std::uint16_t TranslateErrorMask(std::uint16_t mask) {
  std::uint16_t bits = 0;
  if (mask & kArmOverrun) bits |= kLineOverrun;
  if (mask & kArmParity) bits |= kLineParity;
  if (mask & kArmFraming) bits |= kLineFraming;
  if (mask & kArmBreak) bits |= kLineBreak;
  return bits;
}

}  // namespace

// Main lock held. 0 when every handle is taken.
std::uint16_t TApdBaseDispatcher::NextTriggerHandle() {
  if (handleCounter_ < kCountedHandles)
    return static_cast<std::uint16_t>(handleCounter_++ * kHandleStep);
  std::vector<bool> held(kCountedHandles, false);
  for (const auto& trigger : statusTriggers_) held[trigger.handle / kHandleStep] = true;
  for (std::uint32_t slot = 1; slot < kCountedHandles; ++slot) {
    if (!held[slot]) return static_cast<std::uint16_t>(slot * kHandleStep);
  }
  return 0;
}

std::int32_t TApdBaseDispatcher::CreateStatusTrigger(std::uint32_t kind) {
  if (kind > kMaxStatusKind) return ecBadArgument;
  std::lock_guard guard(mainLock_);
  const std::uint16_t base = NextTriggerHandle();
  if (base == 0) return ecNoMoreTriggers;
  StatusTrigger trigger;
  trigger.handle = static_cast<std::uint16_t>(base | kind);
  trigger.kind = kind;
  statusTriggers_.push_back(trigger);
  return trigger.handle;
}

std::int32_t TApdBaseDispatcher::ArmStatusTrigger(std::uint16_t handle, std::uint16_t value,
                                                  bool activate) {
  std::unique_lock lock(mainLock_);
  auto it = std::find_if(statusTriggers_.begin(), statusTriggers_.end(),
                         [handle](const StatusTrigger& t) { return t.handle == handle; });
  if (it == statusTriggers_.end()) return ecBadTriggerHandle;
  if (activate) {
    switch (it->kind) {
      case kStatusModem: {
        const std::uint8_t mask = static_cast<std::uint8_t>(value);
        it->value = static_cast<std::uint16_t>(mask << 8 | (mask & modemStatus_));
        break;
      }
      case kStatusLineError:
        it->value = TranslateErrorMask(value);
        break;
      default:
        it->value = value;
        break;
    }
  }
  it->armed = activate;
  lock.unlock();
  if (activate) WakeDispatchThread();  // its condition may hold already
  return 0;
}

std::int32_t TApdBaseDispatcher::RemoveTrigger(std::uint16_t handle) {
  std::lock_guard guard(mainLock_);
  if (handle == kAvailTriggerHandle) {
    availThreshold_ = 0;
    return 0;
  }
  auto it = std::find_if(statusTriggers_.begin(), statusTriggers_.end(),
                         [handle](const StatusTrigger& t) { return t.handle == handle; });
  if (it == statusTriggers_.end()) return ecBadTriggerHandle;
  statusTriggers_.erase(it);
  return 0;
}

void TApdBaseDispatcher::SetAvailThreshold(std::uint32_t threshold) {
  std::lock_guard guard(mainLock_);
  availThreshold_ = threshold;
}

std::uint32_t TApdBaseDispatcher::AvailThreshold() const {
  std::lock_guard guard(mainLock_);
  return availThreshold_;
}

SavedTriggers TApdBaseDispatcher::SaveTriggers() const {
  std::lock_guard guard(mainLock_);
  return {statusTriggers_, handleCounter_};
}

void TApdBaseDispatcher::RestoreTriggers(const SavedTriggers& saved) {
  {
    std::lock_guard guard(mainLock_);
    statusTriggers_ = saved.statusTriggers;
    for (auto& trigger : statusTriggers_) trigger.firedInPass = false;
    handleCounter_ = saved.handleCounter;
  }
  WakeDispatchThread();
}

// Dispatch thread. Fires at most one trigger: the first armed one, not yet
// fired in this pass, whose condition holds.
bool TApdBaseDispatcher::CheckStatusTriggers() {
  std::uint16_t handle = 0;
  std::uint16_t value = 0;
  {
    std::lock_guard guard(mainLock_);
    auto fires = [&](StatusTrigger& t) {
      switch (t.kind) {
        case kStatusModem:
          return ((t.value & 0xFF) ^ modemStatus_) & (t.value >> 8) & 0xFF;
        case kStatusLineError:
          if (!(t.value & lineErrors_)) return 0;
          t.value = lineErrors_;
          return 1;
        case kStatusOutBuffFree: {
          std::lock_guard output(outputLock_);
          value = static_cast<std::uint16_t>(outSize_ - OutputUsedLocked());
          return value >= t.value ? 1 : 0;
        }
        case kStatusOutBuffUsed: {
          std::lock_guard output(outputLock_);
          value = static_cast<std::uint16_t>(OutputUsedLocked());
          return value <= t.value ? 1 : 0;
        }
        case kStatusOutSent:
          if (!outputSent_) return 0;
          outputSent_ = false;
          return 1;
        default:
          return 0;
      }
    };
    for (auto& trigger : statusTriggers_) {
      if (!trigger.armed || trigger.firedInPass) continue;
      value = 0;
      if (!fires(trigger)) continue;
      trigger.armed = false;
      trigger.firedInPass = true;
      statusHit_ = true;
      handle = trigger.handle;
      break;
    }
  }
  if (handle == 0) return false;
  DeliverTrigger(kMsgTriggerStatus, handle, value);
  return true;
}

// Checks status triggers until none fires (or closing begins); each fires at
// most once per pass.
void TApdBaseDispatcher::StatusTriggerPass() {
  {
    std::lock_guard guard(mainLock_);
    statusHit_ = false;
  }
  while (!closing_ && CheckStatusTriggers()) {
  }
  std::lock_guard guard(mainLock_);
  if (statusHit_) {
    for (auto& trigger : statusTriggers_) trigger.firedInPass = false;
    statusHit_ = false;
  }
}

// The line bits come from the device; after a modem event the change bits
// also gain each line that differs from before.
void TApdBaseDispatcher::RefreshModemStatus(bool afterModemEvent) {
  std::lock_guard guard(mainLock_);
  RefreshModemStatusLocked(afterModemEvent);
}

void TApdBaseDispatcher::RefreshModemStatusLocked(bool afterModemEvent) {
  std::uint32_t lines = 0;
  if (!device_ || device_->GetCommModemStatus(lines) != platform::kErrorSuccess) lines = 0;
  const std::uint8_t before = modemStatus_;
  modemStatus_ = static_cast<std::uint8_t>((before & 0x0F) | (lines & 0xF0));
  if (ringSeen_) {
    ringSeen_ = false;
    modemStatus_ |= kModemRiChanged;
  }
  if (afterModemEvent)
    modemStatus_ |= static_cast<std::uint8_t>(((before ^ modemStatus_) & 0xF0) >> 4);
}

bool TApdBaseDispatcher::DeviceGone() {
  std::lock_guard guard(mainLock_);
  std::uint32_t lines = 0;
  return device_ && device_->GetCommModemStatus(lines) == platform::kErrorGenFailure;
}

std::uint8_t TApdBaseDispatcher::ReadModemStatus(std::uint8_t clearMask) {
  std::uint8_t status = 0;
  bool linesChanged = false;
  {
    std::lock_guard guard(mainLock_);
    const std::uint8_t before = modemStatus_;
    RefreshModemStatusLocked(false);
    status = modemStatus_;
    linesChanged = ((before ^ status) & 0xF0) != 0;
    modemStatus_ &= static_cast<std::uint8_t>(~clearMask);
  }
  if (linesChanged) WakeDispatchThread();  // a modem trigger may fire on the new lines
  return status;
}

std::uint8_t TApdBaseDispatcher::LineError() {
  std::lock_guard guard(mainLock_);
  const std::uint8_t errors = lineErrors_ & 0x0F;
  lineErrors_ &= kLineBreak;
  return errors;
}

bool TApdBaseDispatcher::LineBreak() {
  std::lock_guard guard(mainLock_);
  const bool lineBreak = (lineErrors_ & kLineBreak) != 0;
  lineErrors_ &= static_cast<std::uint8_t>(~kLineBreak);
  return lineBreak;
}

}  // namespace serial
