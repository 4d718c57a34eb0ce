#include "serial/LineControl.h"

#include "serial/ErrorCodes.h"

namespace serial {

using namespace platform;

void TLineControl::Open(CommDevice& device, std::uint8_t options, std::uint16_t inQueueSize) {
  inQueueSize_ = inQueueSize;
  timingBaud_ = kDefaultTimingBaud;
  dtrAuto_ = (options & kOptionUseDtr) != 0;
  dtrState_ = (options & kOptionDtr) != 0;
  if (!dtrAuto_) device.EscapeCommFunction(dtrState_ ? kSetDtr : kClrDtr);
  rtsAuto_ = (options & kOptionUseRts) != 0;
  rtsState_ = (options & kOptionRts) != 0;
  if (!rtsAuto_) device.EscapeCommFunction(rtsState_ ? kSetRts : kClrRts);
}

// Every write of the device control block goes through here.
std::int32_t TLineControl::Write(CommDevice& device, CommState dcb) {
  if (!dtrAuto_) dcb.dtrControl = dtrState_ ? kDtrControlEnable : kDtrControlDisable;
  if (!rtsAuto_) dcb.rtsControl = rtsState_ ? kRtsControlEnable : kRtsControlDisable;
  if (std::uint32_t error = device.SetCommState(dcb)) return SystemError(error);
  if (!dtrAuto_) device.EscapeCommFunction(dtrState_ ? kSetDtr : kClrDtr);
  if (!rtsAuto_ && !rs485_) device.EscapeCommFunction(rtsState_ ? kSetRts : kClrRts);
  return 0;
}

std::int32_t TLineControl::SetHardwareFlow(CommDevice& device, std::uint8_t flags,
                                           std::uint16_t bufferFull, std::uint16_t bufferResume) {
  if (bufferFull < bufferResume || bufferFull > inQueueSize_) return ecBadArgument;
  CommState dcb;
  if (std::uint32_t error = device.GetCommState(dcb)) return SystemError(error);
  dcb.outxCtsFlow = dcb.outxDsrFlow = false;
  dtrAuto_ = rtsAuto_ = false;
  if (flags & kFlowUseDtr) {
    dcb.dtrControl = kDtrControlHandshake;
    dtrAuto_ = true;
  } else {
    dcb.dtrControl = dtrState_ ? kDtrControlEnable : kDtrControlDisable;
  }
  if (flags & kFlowUseRts) {
    dcb.rtsControl = kRtsControlHandshake;
    rtsAuto_ = true;
  } else {
    dcb.rtsControl = rtsState_ ? kRtsControlEnable : kRtsControlDisable;
  }
  // RTS or CTS handshake ends RS485 mode, which would take RTS for itself.
  if (flags & (kFlowUseRts | kFlowRequireCts)) rs485_ = false;
  if (rs485_) {
    dcb.rtsControl = kRtsControlToggle;
    rtsAuto_ = true;
  }
  dcb.xoffLim = static_cast<std::uint16_t>(inQueueSize_ - bufferFull);
  dcb.xonLim = bufferResume;
  dcb.outxDsrFlow = (flags & kFlowRequireDsr) != 0;
  dcb.outxCtsFlow = (flags & kFlowRequireCts) != 0;
  return Write(device, dcb);
}

std::int32_t TLineControl::SetSoftwareFlow(CommDevice& device, std::uint8_t flags,
                                           std::uint16_t bufferFull, std::uint16_t bufferResume) {
  if (flags != 0 && (bufferFull < bufferResume || bufferFull > inQueueSize_)) return ecBadArgument;
  CommState dcb;
  if (std::uint32_t error = device.GetCommState(dcb)) return SystemError(error);
  // Both directions follow the flags, so that leaving one direction turns it off.
  dcb.inX = (flags & kSoftFlowReceive) != 0;
  dcb.outX = (flags & kSoftFlowTransmit) != 0;
  if (dcb.inX) {
    dcb.xoffLim = static_cast<std::uint16_t>(inQueueSize_ - bufferFull);
    dcb.xonLim = bufferResume;
  }
  if (flags != 0) {
    dcb.xonChar = 17;
    dcb.xoffChar = 19;
  }
  return Write(device, dcb);
}

std::int32_t TLineControl::SetFlowChars(CommDevice& device, char xonChar, char xoffChar) {
  CommState dcb;
  if (std::uint32_t error = device.GetCommState(dcb)) return SystemError(error);
  dcb.xonChar = xonChar;
  dcb.xoffChar = xoffChar;
  return Write(device, dcb);
}

std::int32_t TLineControl::SetDtr(CommDevice& device, bool on) {
  if (dtrAuto_) return 0;
  if (std::uint32_t error = device.EscapeCommFunction(on ? kSetDtr : kClrDtr))
    return SystemError(error);
  dtrState_ = on;
  return 0;
}

std::int32_t TLineControl::SetRts(CommDevice& device, bool on) {
  if (rtsAuto_) return 0;
  if (std::uint32_t error = device.EscapeCommFunction(on ? kSetRts : kClrRts))
    return SystemError(error);
  rtsState_ = on;
  return 0;
}

// RTS follows transmission from now on: the recorded state is off, as the
// port's RTS property is, so that leaving the mode does not raise RTS again.
void TLineControl::SetRS485Mode(bool on) {
  rs485_ = on;
  if (on) rtsState_ = false;
}

}  // namespace serial
