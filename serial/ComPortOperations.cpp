// TApdComPort: line readers, sending and receiving, purges and triggers.
#include "serial/ComPort.h"
#include "serial/ErrorCodes.h"
#include "serial/Exceptions.h"

namespace serial {

TApdBaseDispatcher& TApdCustomComPort::ValidDispatcher() {
  if (!dispatcher_ && autoOpen_ && !loading_) SetOpen(true);
  if (!dispatcher_) throw ECommNotOpen();
  return *dispatcher_;
}

std::uint8_t TApdCustomComPort::ReadModem(std::uint8_t clearMask) {
  if (portState_ == PortState::Closed || !dispatcher_) return 0;
  return dispatcher_->ReadModemStatus(clearMask);
}

bool TApdCustomComPort::CtsOn() {
  return ReadModem(kModemCtsChanged) & kModemCts;
}
bool TApdCustomComPort::DsrOn() {
  return ReadModem(kModemDsrChanged) & kModemDsr;
}
bool TApdCustomComPort::RiOn() {
  return ReadModem(kModemRiChanged) & kModemRi;
}
bool TApdCustomComPort::DcdOn() {
  return ReadModem(kModemDcdChanged) & kModemDcd;
}
bool TApdCustomComPort::CtsChanged() {
  return ReadModem(kModemCtsChanged) & kModemCtsChanged;
}
bool TApdCustomComPort::DsrChanged() {
  return ReadModem(kModemDsrChanged) & kModemDsrChanged;
}
bool TApdCustomComPort::RiChanged() {
  return ReadModem(kModemRiChanged) & kModemRiChanged;
}
bool TApdCustomComPort::DcdChanged() {
  return ReadModem(kModemDcdChanged) & kModemDcdChanged;
}

std::uint16_t TApdCustomComPort::OutputFree() {
  if (portState_ != PortState::Open) return outSize_;
  return static_cast<std::uint16_t>(dispatcher_->OutputFree());
}

void TApdCustomComPort::SendChar(char c) {
  if (portState_ == PortState::Closing) return;
  const auto byte = static_cast<std::uint8_t>(c);
  Check(ValidDispatcher().QueueOutput(&byte, 1));
}

void TApdCustomComPort::SendText(const std::string& text) {
  if (portState_ == PortState::Closing) return;
  Check(ValidDispatcher().QueueOutput(reinterpret_cast<const std::uint8_t*>(text.data()),
                                      static_cast<std::uint32_t>(text.size())));
}

char TApdCustomComPort::ReceiveChar() {
  if (portState_ == PortState::Closing) return 0;
  return static_cast<char>(Check(ValidDispatcher().TakeInput()));
}

void TApdCustomComPort::PurgeOutput() {
  if (portState_ == PortState::Closing) return;
  Check(ValidDispatcher().PurgeOutput());
}

void TApdCustomComPort::PurgeInput() {
  if (portState_ == PortState::Closing) return;
  Check(ValidDispatcher().PurgeInput());
}

std::uint16_t TApdCustomComPort::CreateStatusTrigger(std::uint16_t kind) {
  if (portState_ == PortState::Closing) return 0;
  return static_cast<std::uint16_t>(Check(ValidDispatcher().CreateStatusTrigger(kind)));
}

void TApdCustomComPort::ArmStatusTrigger(std::uint16_t handle, std::uint16_t value, bool active) {
  if (portState_ == PortState::Closing) return;
  Check(ValidDispatcher().ArmStatusTrigger(handle, value, active));
}

void TApdCustomComPort::DeleteTrigger(std::uint16_t handle) {
  if (portState_ != PortState::Open) return;
  Check(dispatcher_->RemoveTrigger(handle));
}

}  // namespace serial
