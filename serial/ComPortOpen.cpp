// TApdComPort: open and close, the user list, and the notification window
// that turns trigger messages into events.
#include <utility>

#include "serial/ComPort.h"
#include "serial/ErrorCodes.h"
#include "serial/ExceptionDisplay.h"
#include "serial/Exceptions.h"

namespace serial {

namespace {

constexpr auto kUserNotifyTimeout = std::chrono::milliseconds(60000);
constexpr std::uint16_t kStatusKindMask = 0x07;

std::uint16_t HighWord(platform::LPARAM value) {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) >> 16);
}
std::uint16_t LowWord(platform::LPARAM value) {
  return static_cast<std::uint16_t>(value);
}

}  // namespace

TApdCustomComPort::~TApdCustomComPort() {
  reopenRequested_ = false;
  try {
    SetOpen(false);
  } catch (const std::exception& error) {
    ShowException(error);
  }
  if (portState_ == PortState::Closing) FinishClose();
}

std::unique_ptr<TApdBaseDispatcher> TApdCustomComPort::CreateDispatcher() {
  return std::make_unique<TApdWin32Dispatcher>();
}

void TApdCustomComPort::SetOpen(bool open) {
  if (open == open_) return;
  if (loading_) {
    open_ = open;
    return;
  }
  if (open)
    OpenPort();
  else
    ClosePort();
}

void TApdCustomComPort::Loaded() {
  loading_ = false;
  if (!open_) return;
  open_ = false;
  try {
    SetOpen(true);
  } catch (const std::exception& error) {
    open_ = false;
    ShowException(error);
  }
}

void TApdCustomComPort::ResolvePortNumber() {
  if (!promptForPort_ || !PortPromptHandler) throw ENoPortSelected();
  const std::optional<std::uint16_t> chosen = PortPromptHandler();
  if (!chosen || *chosen == 0) throw ENoPortSelected();
  comNumber_ = *chosen;
}

void TApdCustomComPort::OpenPort() {
  if (portState_ != PortState::Closed) {
    reopenRequested_ = true;  // carried out when the close completes
    return;
  }
  if (tapiMode_ != tmOn && comNumber_ == 0) ResolvePortNumber();
  try {
    dispatcher_ = CreateDispatcher();
    PortOpenSettings settings;
    settings.deviceName = "\\\\.\\COM" + std::to_string(comNumber_);
    settings.baud = baud_;
    settings.options = static_cast<std::uint8_t>((dtr_ ? kOptionDtr : 0) | (rts_ ? kOptionRts : 0) |
                                                 (hwFlowOptions_ & hwfUseDTR ? kOptionUseDtr : 0) |
                                                 (hwFlowOptions_ & hwfUseRTS ? kOptionUseRts : 0));
    settings.outSize = outSize_;
    settings.inSize = inSize_;
    settings.dataBits = dataBits_;
    settings.stopBits = stopBits_;
    settings.parity = static_cast<std::uint8_t>(parity_);
    std::int32_t result = dispatcher_->InitializePort(settings);
    if (result == -5) result = ecAlreadyOpen;  // access denied: another program holds it
    if (result == -2 || result == -3) result = ecBadId;
    if (result != 0) RaiseForResult(result);
    portState_ = PortState::Open;
    UpdateTriggerDelivery();
    ApplySettingsAfterOpen();
    open_ = true;
    CreateNotificationWindow();
    if (savedTriggers_) dispatcher_->RestoreTriggers(*savedTriggers_);
    NotifyUsers(kMsgPortOpened);
  } catch (...) {
    force_ = false;
    open_ = false;
    portState_ = PortState::Closed;
    DestroyNotificationWindow();
    dispatcher_.reset();
    throw;
  }
}

// Every setter writes its value again, whether or not it changed.
void TApdCustomComPort::ApplySettingsAfterOpen() {
  force_ = true;
  SetTracing(tracing_);
  SetLogging(logging_);
  SetHWFlowOptions(hwFlowOptions_);
  SetSWFlowOptions(swFlowOptions_);
  SetXOnChar(xonChar_);
  SetXOffChar(xoffChar_);
  dispatcher_->SetAvailThreshold(availThreshold_);
  SetDTR(dtr_);
  SetRTS(rts_);
  SetRS485Mode(rs485Mode_);
  force_ = false;
}

void TApdCustomComPort::ClosePort() {
  open_ = false;
  if (portState_ != PortState::Open) return;
  portState_ = PortState::Closing;
  NotifyUsers(kMsgPortClosing);
  savedTriggers_ = dispatcher_->SaveTriggers();
  dispatcher_->CloseDevice();
  if (dispatcher_->Started()) {
    // Closed from inside a trigger event: the dispatcher's threads end after
    // the running delivery, and 0x7E0A then finishes the close.
    dispatcher_->PostWhenStopped(notificationWindow_, kMsgClosePending, 0,
                                 static_cast<platform::LPARAM>(dispatcher_->Handle()) << 16);
    return;
  }
  FinishClose();
}

// The window goes first, so that nothing queued for it runs while the
// dispatcher is freed.
void TApdCustomComPort::FinishClose() {
  DestroyNotificationWindow();
  dispatcher_.reset();
  portState_ = PortState::Closed;
}

void TApdCustomComPort::CreateNotificationWindow() {
  notificationWindow_ = platform::CreateMessageWindow(
      [this](platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
        return NotificationWindowProc(msg, wParam, lParam);
      });
  dispatcher_->AddWindowHandler(notificationWindow_);
}

void TApdCustomComPort::DestroyNotificationWindow() {
  if (!notificationWindow_) return;
  if (dispatcher_) dispatcher_->RemoveWindowHandler(notificationWindow_);
  platform::DestroyMessageWindow(notificationWindow_);
  notificationWindow_ = 0;
}

void TApdCustomComPort::AddPortUser(platform::HWND window) {
  users_.push_back(window);
}

void TApdCustomComPort::RemovePortUser(platform::HWND window) {
  std::erase(users_, window);
}

void TApdCustomComPort::NotifyUsers(platform::UINT msg) {
  const std::vector<platform::HWND> users = users_;  // a user may leave while told
  for (auto it = users.rbegin(); it != users.rend(); ++it)
    platform::SendMessageTimeout(*it, msg, 0, 0, kUserNotifyTimeout);
}

// The trigger messages whose events are assigned.
TriggerMessageSet TApdCustomComPort::AssignedTriggerMessages() const {
  TriggerMessageSet messages = OnTrigger ? kAllTriggerMessages : 0;
  if (OnTriggerAvail) messages |= TriggerMessageBit(kMsgTriggerAvail);
  if (OnTriggerData) messages |= TriggerMessageBit(kMsgTriggerData);
  if (OnTriggerTimer) messages |= TriggerMessageBit(kMsgTriggerTimer);
  if (OnTriggerStatus || OnTriggerLineError || OnTriggerModemStatus || OnTriggerOutbuffFree ||
      OnTriggerOutbuffUsed || OnTriggerOutSent)
    messages |= TriggerMessageBit(kMsgTriggerStatus);
  return messages;
}

// The window is sent only the messages it raises events for: an owner that
// wants modem-status events alone is spared a blocking send through the GUI
// thread per received block.
void TApdCustomComPort::UpdateTriggerDelivery() {
  if (portState_ != PortState::Open || !dispatcher_) return;
  const TriggerMessageSet messages = AssignedTriggerMessages();
  dispatcher_->SetPortHandlerMessages(messages);
  dispatcher_->RecomputeDelivery(messages
                                     ? TApdBaseDispatcher::DeliveryRequest::PortHandlerInstalled
                                     : TApdBaseDispatcher::DeliveryRequest::PortHandlerRemoved);
}

platform::LRESULT TApdCustomComPort::NotificationWindowProc(platform::UINT msg,
                                                            platform::WPARAM wParam,
                                                            platform::LPARAM lParam) {
  const bool trigger = msg >= kMsgTriggerAvail && msg <= kMsgTriggerStatus;
  if (!trigger && msg != kMsgClosePending) return 0;
  if (!dispatcher_ || dispatcher_->Handle() != HighWord(lParam)) return 0;
  if (trigger) {
    try {
      DeliverTriggerMessage(msg, wParam, lParam);
    } catch (const std::exception& error) {
      ShowException(error);
    } catch (...) {
      ShowUnknownException();
    }
    return 0;
  }
  if (dispatcher_->Started()) {
    dispatcher_->PostWhenStopped(notificationWindow_, msg, wParam, lParam);
    return 0;
  }
  FinishClose();
  if (std::exchange(reopenRequested_, false)) {
    try {
      SetOpen(true);
    } catch (const std::exception& error) {
      ShowException(error);
    }
  }
  return 0;
}

void TApdCustomComPort::DeliverTriggerMessage(platform::UINT msg, platform::WPARAM wParam,
                                              platform::LPARAM lParam) {
  const auto handle = static_cast<std::uint16_t>(wParam);
  const std::uint16_t data = msg == kMsgTriggerAvail ? handle : LowWord(lParam);
  TriggerHandler(static_cast<std::uint16_t>(msg), handle, data);
  if (!dispatcher_) return;
  switch (msg) {
    case kMsgTriggerAvail:
      TriggerAvail(handle);
      return;
    case kMsgTriggerData:
      TriggerData(handle);
      return;
    case kMsgTriggerTimer:
      TriggerTimer(handle);
      return;
    default:
      break;
  }
  TriggerStatus(handle);
  if (!dispatcher_) return;
  switch (handle & kStatusKindMask) {
    case kStatusModem:
      TriggerModemStatus();
      break;
    case kStatusLineError: {
      const std::uint16_t error = dispatcher_->LineError();
      TriggerLineError(error, dispatcher_->LineBreak());
      break;
    }
    case kStatusOutBuffFree:
      TriggerOutbuffFree();
      break;
    case kStatusOutBuffUsed:
      TriggerOutbuffUsed();
      break;
    case kStatusOutSent:
      TriggerOutSent();
      break;
    default:
      break;
  }
}

void TApdCustomComPort::TriggerHandler(std::uint16_t msg, std::uint16_t triggerHandle,
                                       std::uint16_t data) {
  if (OnTrigger) OnTrigger(*this, msg, triggerHandle, data);
}
void TApdCustomComPort::TriggerAvail(std::uint16_t count) {
  if (OnTriggerAvail) OnTriggerAvail(*this, count);
}
void TApdCustomComPort::TriggerData(std::uint16_t triggerHandle) {
  if (OnTriggerData) OnTriggerData(*this, triggerHandle);
}
void TApdCustomComPort::TriggerStatus(std::uint16_t triggerHandle) {
  if (OnTriggerStatus) OnTriggerStatus(*this, triggerHandle);
}
void TApdCustomComPort::TriggerTimer(std::uint16_t triggerHandle) {
  if (OnTriggerTimer) OnTriggerTimer(*this, triggerHandle);
}
void TApdCustomComPort::TriggerLineError(std::uint16_t error, bool lineBreak) {
  if (OnTriggerLineError) OnTriggerLineError(*this, error, lineBreak);
}
void TApdCustomComPort::TriggerModemStatus() {
  if (OnTriggerModemStatus) OnTriggerModemStatus(*this);
}
void TApdCustomComPort::TriggerOutbuffFree() {
  if (OnTriggerOutbuffFree) OnTriggerOutbuffFree(*this);
}
void TApdCustomComPort::TriggerOutbuffUsed() {
  if (OnTriggerOutbuffUsed) OnTriggerOutbuffUsed(*this);
}
void TApdCustomComPort::TriggerOutSent() {
  if (OnTriggerOutSent) OnTriggerOutSent(*this);
}

}  // namespace serial
