#include "serial/TriggerSet.h"

#include <algorithm>

#include "serial/ErrorCodes.h"
#include "serial/TriggerMessages.h"

namespace serial {

namespace {

constexpr std::uint32_t kHandleStep = 8;
constexpr std::uint32_t kCountedHandles = 4096;  // counter values handed out in turn
constexpr std::uint32_t kMaxStatusKind = 5;
constexpr std::uint8_t kLineErrorBits = 0x1F;

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

void TTriggerSet::Open(std::uint32_t modemLines) {
  std::lock_guard guard(lock_);
  lineErrors_ = 0;
  outputSent_ = false;
  ringSeen_ = false;
  statusTriggers_.clear();
  handleCounter_ = 1;
  availThreshold_ = 0;
  modemStatus_ = static_cast<std::uint8_t>(modemLines & 0xF0);
  CountArmed();
}

void TTriggerSet::CountArmed() {
  armed_ = static_cast<std::size_t>(std::count_if(statusTriggers_.begin(), statusTriggers_.end(),
                                                  [](const auto& t) { return t.armed; }));
}

// Lock held. 0 when every handle is taken.
std::uint16_t TTriggerSet::NextTriggerHandle() {
  if (handleCounter_ < kCountedHandles)
    return static_cast<std::uint16_t>(handleCounter_++ * kHandleStep);
  std::vector<bool> held(kCountedHandles, false);
  for (const auto& trigger : statusTriggers_) held[trigger.handle / kHandleStep] = true;
  for (std::uint32_t slot = 1; slot < kCountedHandles; ++slot) {
    if (!held[slot]) return static_cast<std::uint16_t>(slot * kHandleStep);
  }
  return 0;
}

std::int32_t TTriggerSet::CreateStatusTrigger(std::uint32_t kind) {
  if (kind > kMaxStatusKind) return ecBadArgument;
  std::lock_guard guard(lock_);
  const std::uint16_t base = NextTriggerHandle();
  if (base == 0) return ecNoMoreTriggers;
  StatusTrigger trigger;
  trigger.handle = static_cast<std::uint16_t>(base | kind);
  trigger.kind = kind;
  statusTriggers_.push_back(trigger);
  return trigger.handle;
}

std::int32_t TTriggerSet::ArmStatusTrigger(std::uint16_t handle, std::uint16_t value,
                                           bool activate) {
  std::lock_guard guard(lock_);
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
  CountArmed();
  return 0;
}

std::int32_t TTriggerSet::RemoveTrigger(std::uint16_t handle) {
  std::lock_guard guard(lock_);
  if (handle == kAvailTriggerHandle) {
    availThreshold_ = 0;
    return 0;
  }
  auto it = std::find_if(statusTriggers_.begin(), statusTriggers_.end(),
                         [handle](const StatusTrigger& t) { return t.handle == handle; });
  if (it == statusTriggers_.end()) return ecBadTriggerHandle;
  statusTriggers_.erase(it);
  CountArmed();
  return 0;
}

void TTriggerSet::SetAvailThreshold(std::uint32_t threshold) {
  std::lock_guard guard(lock_);
  availThreshold_ = threshold;
}

SavedTriggers TTriggerSet::SaveTriggers() const {
  std::lock_guard guard(lock_);
  return {statusTriggers_, handleCounter_};
}

void TTriggerSet::RestoreTriggers(const SavedTriggers& saved) {
  std::lock_guard guard(lock_);
  statusTriggers_ = saved.statusTriggers;
  for (auto& trigger : statusTriggers_) trigger.firedInPass = false;
  handleCounter_ = saved.handleCounter;
  CountArmed();
}

bool TTriggerSet::OutputTriggerArmed() const {
  std::lock_guard guard(lock_);
  return std::any_of(statusTriggers_.begin(), statusTriggers_.end(), [](const StatusTrigger& t) {
    return t.armed && t.kind >= kStatusOutBuffFree;
  });
}

// Lock held.
bool TTriggerSet::Fires(StatusTrigger& t, std::uint32_t outputUsed, std::uint32_t outputSize,
                        std::uint16_t& value) {
  switch (t.kind) {
    case kStatusModem:
      return ((t.value & 0xFF) ^ modemStatus_) & (t.value >> 8) & 0xFF;
    case kStatusLineError:
      if (!(t.value & lineErrors_)) return false;
      t.value = lineErrors_;
      return true;
    case kStatusOutBuffFree:
      value = static_cast<std::uint16_t>(outputSize - outputUsed);
      return value >= t.value;
    case kStatusOutBuffUsed:
      value = static_cast<std::uint16_t>(outputUsed);
      return value <= t.value;
    case kStatusOutSent:
      if (!outputSent_) return false;
      outputSent_ = false;
      return true;
    default:
      return false;
  }
}

std::uint16_t TTriggerSet::FireNext(std::uint32_t outputUsed, std::uint32_t outputSize,
                                    std::uint16_t& value) {
  std::lock_guard guard(lock_);
  for (auto& trigger : statusTriggers_) {
    if (!trigger.armed || trigger.firedInPass) continue;
    value = 0;
    if (!Fires(trigger, outputUsed, outputSize, value)) continue;
    trigger.armed = false;
    trigger.firedInPass = true;
    statusHit_ = true;
    CountArmed();
    return trigger.handle;
  }
  return 0;
}

void TTriggerSet::EndPass() {
  std::lock_guard guard(lock_);
  if (!statusHit_) return;
  for (auto& trigger : statusTriggers_) trigger.firedInPass = false;
  statusHit_ = false;
}

void TTriggerSet::NoteRing() {
  std::lock_guard guard(lock_);
  ringSeen_ = true;
}

void TTriggerSet::NoteLineErrors(std::uint32_t deviceErrors) {
  std::lock_guard guard(lock_);
  lineErrors_ |= static_cast<std::uint8_t>(deviceErrors & kLineErrorBits);
}

void TTriggerSet::ClearLineErrors() {
  std::lock_guard guard(lock_);
  lineErrors_ = 0;
}

void TTriggerSet::NoteOutputSent() {
  std::lock_guard guard(lock_);
  outputSent_ = true;
}

void TTriggerSet::RefreshModemStatus(platform::CommDevice* device, bool afterModemEvent) {
  std::lock_guard guard(lock_);
  RefreshModemStatusLocked(device, afterModemEvent);
}

void TTriggerSet::RefreshModemStatusLocked(platform::CommDevice* device, bool afterModemEvent) {
  std::uint32_t lines = 0;
  if (!device || device->GetCommModemStatus(lines) != platform::kErrorSuccess) lines = 0;
  const std::uint8_t before = modemStatus_;
  modemStatus_ = static_cast<std::uint8_t>((before & 0x0F) | (lines & 0xF0));
  if (ringSeen_) {
    ringSeen_ = false;
    modemStatus_ |= kModemRiChanged;
  }
  if (afterModemEvent)
    modemStatus_ |= static_cast<std::uint8_t>(((before ^ modemStatus_) & 0xF0) >> 4);
}

std::uint8_t TTriggerSet::ReadModemStatus(platform::CommDevice* device, std::uint8_t clearMask,
                                          bool& linesChanged) {
  std::lock_guard guard(lock_);
  const std::uint8_t before = modemStatus_;
  RefreshModemStatusLocked(device, false);
  const std::uint8_t status = modemStatus_;
  linesChanged = ((before ^ status) & 0xF0) != 0;
  modemStatus_ &= static_cast<std::uint8_t>(~clearMask);
  return status;
}

std::uint8_t TTriggerSet::LineError() {
  std::lock_guard guard(lock_);
  const std::uint8_t errors = lineErrors_ & 0x0F;
  lineErrors_ &= kLineBreak;
  return errors;
}

bool TTriggerSet::LineBreak() {
  std::lock_guard guard(lock_);
  const bool lineBreak = (lineErrors_ & kLineBreak) != 0;
  lineErrors_ &= static_cast<std::uint8_t>(~kLineBreak);
  return lineBreak;
}

}  // namespace serial
