// The device-level steps: open and close, line settings, flow control, DTR
// and RTS.
#include <chrono>
#include <thread>

#include "platform/Messages.h"
#include "serial/Dispatcher.h"
#include "serial/ErrorCodes.h"
#include "serial/ExceptionDisplay.h"

namespace serial {

namespace {

using namespace platform;

constexpr std::uint32_t kDefaultTimingBaud = 115200;
constexpr int kDrainPolls = 5000;
constexpr auto kDrainPollInterval = std::chrono::milliseconds(2);
constexpr std::uint32_t kSettleCharacters = 18;
constexpr std::uint8_t kLineErrorBits = 0x1F;

using Clock = std::chrono::steady_clock;

std::int32_t SystemError(std::uint32_t error) {
  return -static_cast<std::int32_t>(error);
}

// A rate may be held as a device rate index; timing needs bits per second.
std::uint32_t BitsPerSecond(std::uint32_t baud) {
  static const std::uint32_t kIndexedRates[] = {110,   300, 600, 1200,   2400, 4800, 9600, 14400,
                                                19200, 0,   0,   38400,  0,    0,    0,    56000,
                                                0,     0,   0,   128000, 0,    0,    0,    256000};
  if (baud == 0xFEFF) return 115200;
  if (baud >= 0xFF10 && baud <= 0xFF27) return kIndexedRates[baud - 0xFF10];
  return baud;
}

// Raw bytes both ways, whatever the device held before. Applied to the state
// that is finally written, so that the re-reads before it cannot undo it.
void SetBinaryMode(CommState& dcb) {
  dcb.binary = true;
  dcb.parityCheck = false;
  dcb.dsrSensitivity = false;
  dcb.txContinueOnXoff = true;
  dcb.nullStrip = false;
}

// Waits until the deadline delivering the calling thread's messages, so a
// dispatcher thread blocked in a send to this thread is answered. A quit
// message ends the wait and is posted again (false). What another message's
// handler raises is its own failure, not the change's: it is shown.
bool WaitDeliveringMessages(Clock::time_point deadline) {
  for (;;) {
    int quitCode = 0;
    Pumped pumped = Pumped::Dispatched;
    RunUserAction([&] { pumped = ProcessOneMessage(&quitCode); });
    if (pumped == Pumped::Quit) {
      PostQuitMessage(quitCode);
      return false;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return true;
    if (pumped == Pumped::None)
      WaitMessage(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
  }
}

}  // namespace

std::int32_t TApdBaseDispatcher::InitializePort(const PortOpenSettings& settings) {
  if (device_) return ecAlreadyOpen;  // one device per dispatcher
  std::uint32_t error = kErrorSuccess;
  device_ = OpenDevice(settings.deviceName, error);
  if (!device_) return error == kErrorNotEnoughMemory ? ecOutOfMemory : SystemError(error);
  inputWaits_ = device_->CanWaitForInput();
  writesNow_ = device_->CanWriteNow();
  auto undo = [this](std::int32_t result) {
    device_->PurgeComm(kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear);
    inputWaits_ = writesNow_ = false;
    device_.reset();
    ReleaseBuffers();
    return result;
  };
  if ((error = device_->SetupComm(settings.inSize, settings.outSize)) != kErrorSuccess)
    return undo(SystemError(error));
  ResetBuffers(settings.inSize, settings.outSize);
  closing_ = false;
  kill_ = false;
  inputGone_ = false;
  {
    std::lock_guard guard(mainLock_);
    stopping_ = false;
  }
  {
    std::lock_guard guard(mainLock_);
    lineErrors_ = 0;
    outputSent_ = false;
    ringSeen_ = false;
    if ((error = device_->GetCommState(dcb_)) != kErrorSuccess) return undo(SystemError(error));
    dtrAuto_ = (settings.options & kOptionUseDtr) != 0;
    dtrState_ = (settings.options & kOptionDtr) != 0;
    if (!dtrAuto_) device_->EscapeCommFunction(dtrState_ ? kSetDtr : kClrDtr);
    rtsAuto_ = (settings.options & kOptionUseRts) != 0;
    rtsState_ = (settings.options & kOptionRts) != 0;
    if (!rtsAuto_) device_->EscapeCommFunction(rtsState_ ? kSetRts : kClrRts);
    statusTriggers_.clear();
    handleCounter_ = 1;
    availThreshold_ = 0;
    std::uint32_t lines = 0;
    device_->GetCommModemStatus(lines);
    modemStatus_ = static_cast<std::uint8_t>(lines & 0xF0);
    lastBaud_ = kDefaultTimingBaud;
  }
  const std::int32_t result =
      ApplyLineSettings(settings.baud, settings.parity, settings.dataBits, settings.stopBits);
  if (result < 0) return undo(result);
  CommStatus status;
  device_->ClearCommError(status);
  {
    // Errors the settings step read came from before the open as well.
    std::lock_guard guard(mainLock_);
    lineErrors_ = 0;
  }
  StartThreads();
  return 0;
}

// The device handle stays open until the threads are gone, so that no thread
// ever uses a closed descriptor; the owner's last step closes it.
void TApdBaseDispatcher::CloseDevice() {
  {
    std::lock_guard guard(mainLock_);
    if (!device_ || stopping_) return;
    stopping_ = true;
  }
  PurgeOutput();
  PurgeInput();
  {
    std::lock_guard guard(mainLock_);
    if (delivering_) {
      closing_ = true;  // the dispatch thread finishes the close when the delivery ends
      return;
    }
  }
  StopThreads(false);
  ReleaseBuffers();
}

// Before the threads run nothing can be waiting for this thread, and
// delivering messages in the middle of an open would let a handler in.
bool TApdBaseDispatcher::WaitForLine(std::chrono::milliseconds duration) {
  if (!Started()) {
    std::this_thread::sleep_for(duration);
    return true;
  }
  return WaitDeliveringMessages(Clock::now() + duration);
}

// While a change waited, the port may have begun to close, or a later
// change, which carries every setting of the port, may have come.
bool TApdBaseDispatcher::Superseded(std::uint32_t generation) const {
  std::lock_guard guard(mainLock_);
  return stopping_ || generation != lineSettingsGeneration_;
}

bool TApdBaseDispatcher::OutputQueued() {
  if (OutputUsed() > 0) return true;
  CommStatus status;
  if (device_->ClearCommError(status) != kErrorSuccess) return false;
  // Reading the device's state clears its errors: keep them for the readers.
  std::lock_guard guard(mainLock_);
  lineErrors_ |= static_cast<std::uint8_t>(status.errors & kLineErrorBits);
  return status.outQueue > 0;
}

std::int32_t TApdBaseDispatcher::ApplyLineSettings(std::int32_t baud, std::uint8_t parity,
                                                   std::uint16_t dataBits, std::uint16_t stopBits) {
  if (!device_) return ecCommNotOpen;
  const std::uint32_t generation = ++lineSettingsGeneration_;
  std::uint32_t wantedBaud = 0;
  std::uint8_t wantedStop = 0;
  std::uint8_t bitsPerChar = 0;
  {
    std::lock_guard guard(mainLock_);
    if (std::uint32_t error = device_->GetCommState(dcb_)) return SystemError(error);
    if (stopBits != 3) stopBits = stopBits == 0 ? 1 : stopBits > 2 ? 2 : stopBits;
    wantedBaud = baud == 0 ? dcb_.baudRate : static_cast<std::uint32_t>(baud);
    if (parity == 5) parity = dcb_.parity;
    const std::uint8_t byteSize =
        dataBits == 9 ? dcb_.byteSize : static_cast<std::uint8_t>(dataBits);
    wantedStop = stopBits == 3   ? dcb_.stopBits
                 : stopBits == 1 ? kOneStopBit
                 : byteSize == 5 ? kOne5StopBits
                                 : kTwoStopBits;
    if (wantedBaud == dcb_.baudRate && parity == dcb_.parity && byteSize == dcb_.byteSize &&
        wantedStop == dcb_.stopBits)
      return 0;
    dataBits = byteSize;
    bitsPerChar = static_cast<std::uint8_t>(1 + byteSize + (parity != 0 ? 1 : 0) +
                                            (wantedStop == kOneStopBit ? 1 : 2));
  }
  // Let queued output leave at the old settings, then give the line time to
  // settle before it changes. The waits deliver messages (see WaitForLine).
  bool waiting = true;
  for (int poll = 0; waiting && poll < kDrainPolls && OutputQueued(); ++poll)
    waiting = WaitForLine(kDrainPollInterval) && !Superseded(generation);
  std::uint32_t timingBaud = 0;
  {
    std::lock_guard guard(mainLock_);
    if (std::uint32_t error = device_->GetCommState(dcb_)) return SystemError(error);
    timingBaud = BitsPerSecond(lastBaud_);
  }
  if (waiting && timingBaud > 0) {
    std::uint64_t units = 10000000ull / timingBaud * bitsPerChar * kSettleCharacters;
    if (units < 10000) units *= 2;
    WaitForLine(std::chrono::milliseconds((units + 9999) / 10000));
  }
  if (Superseded(generation)) return 0;
  std::lock_guard guard(mainLock_);
  if (std::uint32_t error = device_->GetCommState(dcb_)) return SystemError(error);
  SetBinaryMode(dcb_);
  dcb_.baudRate = wantedBaud;
  dcb_.parity = parity;
  dcb_.byteSize = static_cast<std::uint8_t>(dataBits);
  dcb_.stopBits = wantedStop;
  const std::int32_t result = WriteDeviceState();
  if (result == 0) lastBaud_ = wantedBaud;
  return result;
}

// Every write of the device control block goes through here. Main lock held.
std::int32_t TApdBaseDispatcher::WriteDeviceState() {
  if (!dtrAuto_) dcb_.dtrControl = dtrState_ ? kDtrControlEnable : kDtrControlDisable;
  if (!rtsAuto_) dcb_.rtsControl = rtsState_ ? kRtsControlEnable : kRtsControlDisable;
  if (std::uint32_t error = device_->SetCommState(dcb_)) return SystemError(error);
  if (!dtrAuto_) device_->EscapeCommFunction(dtrState_ ? kSetDtr : kClrDtr);
  if (!rtsAuto_ && !rs485_) device_->EscapeCommFunction(rtsState_ ? kSetRts : kClrRts);
  return 0;
}

std::int32_t TApdBaseDispatcher::SetHardwareFlow(std::uint8_t flags, std::uint16_t bufferFull,
                                                 std::uint16_t bufferResume) {
  if (!device_) return ecCommNotOpen;
  if (bufferFull < bufferResume || bufferFull > inSize_) return ecBadArgument;
  std::lock_guard guard(mainLock_);
  if (std::uint32_t error = device_->GetCommState(dcb_)) return SystemError(error);
  dcb_.outxCtsFlow = dcb_.outxDsrFlow = false;
  dtrAuto_ = rtsAuto_ = false;
  if (flags & kFlowUseDtr) {
    dcb_.dtrControl = kDtrControlHandshake;
    dtrAuto_ = true;
  } else {
    dcb_.dtrControl = dtrState_ ? kDtrControlEnable : kDtrControlDisable;
  }
  if (flags & kFlowUseRts) {
    dcb_.rtsControl = kRtsControlHandshake;
    rtsAuto_ = true;
  } else {
    dcb_.rtsControl = rtsState_ ? kRtsControlEnable : kRtsControlDisable;
  }
  // RTS or CTS handshake ends RS485 mode, which would take RTS for itself.
  if (flags & (kFlowUseRts | kFlowRequireCts)) rs485_ = false;
  if (rs485_) {
    dcb_.rtsControl = kRtsControlToggle;
    rtsAuto_ = true;
  }
  dcb_.xoffLim = static_cast<std::uint16_t>(inSize_ - bufferFull);
  dcb_.xonLim = bufferResume;
  dcb_.outxDsrFlow = (flags & kFlowRequireDsr) != 0;
  dcb_.outxCtsFlow = (flags & kFlowRequireCts) != 0;
  return WriteDeviceState();
}

std::int32_t TApdBaseDispatcher::SetSoftwareFlow(std::uint8_t flags, std::uint16_t bufferFull,
                                                 std::uint16_t bufferResume) {
  if (!device_) return ecCommNotOpen;
  if (flags != 0 && (bufferFull < bufferResume || bufferFull > inSize_)) return ecBadArgument;
  std::lock_guard guard(mainLock_);
  if (std::uint32_t error = device_->GetCommState(dcb_)) return SystemError(error);
  // Both directions follow the flags, so that leaving one direction turns it off.
  dcb_.inX = (flags & kSoftFlowReceive) != 0;
  dcb_.outX = (flags & kSoftFlowTransmit) != 0;
  if (dcb_.inX) {
    dcb_.xoffLim = static_cast<std::uint16_t>(inSize_ - bufferFull);
    dcb_.xonLim = bufferResume;
  }
  if (flags != 0) {
    dcb_.xonChar = 17;
    dcb_.xoffChar = 19;
  }
  return WriteDeviceState();
}

std::int32_t TApdBaseDispatcher::SetFlowChars(char xonChar, char xoffChar) {
  if (!device_) return ecCommNotOpen;
  std::lock_guard guard(mainLock_);
  if (std::uint32_t error = device_->GetCommState(dcb_)) return SystemError(error);
  dcb_.xonChar = xonChar;
  dcb_.xoffChar = xoffChar;
  return WriteDeviceState();
}

std::int32_t TApdBaseDispatcher::SetDtr(bool on) {
  if (!device_) return ecCommNotOpen;
  std::lock_guard guard(mainLock_);
  if (dtrAuto_) return 0;
  if (std::uint32_t error = device_->EscapeCommFunction(on ? kSetDtr : kClrDtr))
    return SystemError(error);
  dtrState_ = on;
  return 0;
}

std::int32_t TApdBaseDispatcher::SetRts(bool on) {
  if (!device_) return ecCommNotOpen;
  std::lock_guard guard(mainLock_);
  if (rtsAuto_) return 0;
  if (std::uint32_t error = device_->EscapeCommFunction(on ? kSetRts : kClrRts))
    return SystemError(error);
  rtsState_ = on;
  return 0;
}

bool TApdBaseDispatcher::DtrAutomatic() const {
  std::lock_guard guard(mainLock_);
  return dtrAuto_;
}

bool TApdBaseDispatcher::RtsAutomatic() const {
  std::lock_guard guard(mainLock_);
  return rtsAuto_;
}

std::int32_t TApdBaseDispatcher::SetQueueSizes(std::uint16_t inSize, std::uint16_t outSize) {
  if (!device_) return ecCommNotOpen;
  if (std::uint32_t error = device_->SetupComm(inSize, outSize)) return SystemError(error);
  std::lock_guard guard(inputLock_);
  inSize_ = inSize;
  return 0;
}

// RTS follows transmission from now on: the recorded state is off, as the
// port's RTS property is, so that leaving the mode does not raise RTS again.
void TApdBaseDispatcher::SetRS485Mode(bool on) {
  std::lock_guard guard(mainLock_);
  rs485_ = on;
  if (on) rtsState_ = false;
}

bool TApdBaseDispatcher::RS485Mode() const {
  std::lock_guard guard(mainLock_);
  return rs485_;
}

void TApdBaseDispatcher::SetThreadPriorityOffset(int offset) {
  std::lock_guard guard(mainLock_);
  priorityOffset_ = offset;
}

}  // namespace serial
