// TApdComPort: construction and the property setters.
#include "serial/ComPort.h"

#include <algorithm>
#include <utility>

#include "serial/ErrorCodes.h"
#include "serial/Exceptions.h"

namespace serial {

namespace {

constexpr std::uint32_t kMaxTraceSize = 4000000;
constexpr std::uint32_t kMaxLogSize = 16000000;

// size × numerator / denominator, rounded to the nearest integer, halves to
// even; in integers, so that halves are exact.
std::uint16_t RoundedShare(std::uint32_t size, std::uint32_t numerator, std::uint32_t denominator) {
  const std::uint64_t scaled = std::uint64_t(size) * numerator;
  std::uint64_t quotient = scaled / denominator;
  const std::uint64_t twiceRemainder = scaled % denominator * 2;
  if (twiceRemainder > denominator || (twiceRemainder == denominator && quotient % 2 == 1))
    ++quotient;
  return static_cast<std::uint16_t>(quotient);
}

PortPrompt& DefaultPortPrompt() {
  static PortPrompt prompt;
  return prompt;
}

std::uint8_t SoftwareFlowFlags(TSWFlowOptions options) {
  switch (options) {
    case swfReceive:
      return kSoftFlowReceive;
    case swfTransmit:
      return kSoftFlowTransmit;
    case swfBoth:
      return kSoftFlowReceive | kSoftFlowTransmit;
    default:
      return 0;
  }
}

}  // namespace

TApdCustomComPort::TApdCustomComPort() : PortPromptHandler(DefaultPortPrompt()) {
  auto changed = [this] { UpdateTriggerDelivery(); };
  OnTrigger.assigned_ = changed;
  OnTriggerAvail.assigned_ = changed;
  OnTriggerData.assigned_ = changed;
  OnTriggerStatus.assigned_ = changed;
  OnTriggerTimer.assigned_ = changed;
  OnTriggerLineError.assigned_ = changed;
  OnTriggerModemStatus.assigned_ = changed;
  OnTriggerOutbuffFree.assigned_ = changed;
  OnTriggerOutbuffUsed.assigned_ = changed;
  OnTriggerOutSent.assigned_ = changed;
}

void TApdCustomComPort::SetDefaultPortPrompt(PortPrompt prompt) {
  DefaultPortPrompt() = std::move(prompt);
}

std::int32_t TApdCustomComPort::Check(std::int32_t result) const {
  return RaiseForResult(result, loading_);
}

void TApdCustomComPort::SetDeviceLayer(TDeviceLayer layer) {
  // Only the Win32 layer exists, and only a closed port may change layers.
  if (layer == dlWin32 && portState_ == PortState::Closed) deviceLayer_ = layer;
}

void TApdCustomComPort::SetComNumber(std::uint16_t number) {
  if (portState_ != PortState::Open) {
    comNumber_ = number;
    return;
  }
  SetOpen(false);
  comNumber_ = number;
  SetOpen(true);
}

void TApdCustomComPort::ApplyLineSettings() {
  if (!ApplyNow()) return;
  // Handlers run while the change waits for the line, and one may close the
  // port: the dispatcher stays until the change returns.
  const std::shared_ptr<TApdBaseDispatcher> dispatcher = dispatcher_;
  Check(dispatcher->ApplyLineSettings(baud_, static_cast<std::uint8_t>(parity_), dataBits_,
                                      stopBits_));
}

void TApdCustomComPort::SetBaud(std::int32_t baud) {
  baud_ = baud;
  ApplyLineSettings();
}

void TApdCustomComPort::SetParity(TParity parity) {
  parity_ = parity;
  ApplyLineSettings();
}

void TApdCustomComPort::SetDataBits(std::uint16_t bits) {
  dataBits_ = bits;
  ApplyLineSettings();
}

void TApdCustomComPort::SetStopBits(std::uint16_t bits) {
  stopBits_ = bits;
  ApplyLineSettings();
}

void TApdCustomComPort::SetInSize(std::uint16_t size) {
  inSize_ = size;
  if (ApplyNow()) Check(dispatcher_->SetQueueSizes(inSize_, outSize_));
}

void TApdCustomComPort::SetOutSize(std::uint16_t size) {
  outSize_ = size;
  if (ApplyNow()) Check(dispatcher_->SetQueueSizes(inSize_, outSize_));
}

void TApdCustomComPort::SetDTR(bool on) {
  if (on == dtr_ && !force_) return;
  if (ApplyNow()) {
    if (dispatcher_->DtrAutomatic()) return;  // under handshake the line is not ours
    Check(dispatcher_->SetDtr(on));
  }
  dtr_ = on;
}

void TApdCustomComPort::SetRTS(bool on) {
  if (on == rts_ && !force_) return;
  if (ApplyNow()) {
    if (dispatcher_->RtsAutomatic()) return;
    Check(dispatcher_->SetRts(on));
  }
  rts_ = on;
}

void TApdCustomComPort::SetHWFlowOptions(THWFlowOptions options) {
  if (options != 0) {
    if (bufferFull_ == 0 || bufferFull_ > inSize_) bufferFull_ = RoundedShare(inSize_, 9, 10);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_)
      bufferResume_ = RoundedShare(inSize_, 1, 10);
  }
  // RTS or CTS handshake ends RS485 mode; the dispatcher leaves it as it
  // applies the flow, before the device is written.
  if (options & (hwfUseRTS | hwfRequireCTS)) rs485Mode_ = false;
  if (ApplyNow()) Check(dispatcher_->SetHardwareFlow(options, bufferFull_, bufferResume_));
  hwFlowOptions_ = options;
}

void TApdCustomComPort::SetSWFlowOptions(TSWFlowOptions options) {
  if (options != swfNone) {
    if (bufferFull_ == 0 || bufferFull_ > inSize_) bufferFull_ = RoundedShare(inSize_, 3, 4);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_)
      bufferResume_ = RoundedShare(inSize_, 1, 4);
  }
  if (ApplyNow())
    Check(dispatcher_->SetSoftwareFlow(SoftwareFlowFlags(options), bufferFull_, bufferResume_));
  swFlowOptions_ = options;
}

void TApdCustomComPort::ReapplyFlow() {
  const bool force = std::exchange(force_, true);
  try {
    SetHWFlowOptions(hwFlowOptions_);
    SetSWFlowOptions(swFlowOptions_);
  } catch (...) {
    force_ = force;
    throw;
  }
  force_ = force;
}

void TApdCustomComPort::SetBufferFull(std::uint16_t level) {
  bufferFull_ = level > inSize_ ? RoundedShare(inSize_, 9, 10) : level;
  ReapplyFlow();
}

void TApdCustomComPort::SetBufferResume(std::uint16_t level) {
  bufferResume_ = level > bufferFull_ ? RoundedShare(bufferFull_, 1, 10) : level;
  ReapplyFlow();
}

void TApdCustomComPort::SetXOnChar(char c) {
  xonChar_ = c;
  if (ApplyNow()) Check(dispatcher_->SetFlowChars(xonChar_, xoffChar_));
}

void TApdCustomComPort::SetXOffChar(char c) {
  xoffChar_ = c;
  if (ApplyNow()) Check(dispatcher_->SetFlowChars(xonChar_, xoffChar_));
}

void TApdCustomComPort::SetTracing(TTraceLogState state) {
  if (state != tlOff) throw ETracingNotEnabled();
  tracing_ = state;
}

void TApdCustomComPort::SetLogging(TTraceLogState state) {
  if (state != tlOff) throw ELoggingNotEnabled();
  logging_ = state;
}

void TApdCustomComPort::SetTraceSize(std::uint32_t size) {
  traceSize_ = std::min(size, kMaxTraceSize);
}

void TApdCustomComPort::SetLogSize(std::uint32_t size) {
  logSize_ = std::min(size, kMaxLogSize);
}

// The dispatcher applies RS485 through the hardware flow settings, so they
// are written again for the change to reach the device.
void TApdCustomComPort::SetRS485Mode(bool on) {
  rs485Mode_ = on;
  if (on) {
    hwFlowOptions_ &= static_cast<THWFlowOptions>(~(hwfUseRTS | hwfRequireCTS));
    rts_ = false;
  }
  if (ApplyNow() && dispatcher_->RS485Mode() != on) {
    dispatcher_->SetRS485Mode(on);
    Check(dispatcher_->SetHardwareFlow(hwFlowOptions_, bufferFull_, bufferResume_));
  }
}

}  // namespace serial
