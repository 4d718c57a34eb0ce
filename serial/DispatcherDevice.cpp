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

constexpr int kDrainPolls = 5000;
constexpr auto kDrainPollInterval = std::chrono::milliseconds(2);
constexpr std::uint32_t kSettleCharacters = 18;

using Clock = std::chrono::steady_clock;

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
  input_.Reset();
  output_.Reset(settings.outSize);
  closing_ = false;
  kill_ = false;
  inputGone_ = false;
  stopping_ = false;
  // A device whose control block cannot be read is not opened; every change
  // reads it fresh, so the copy itself is not kept.
  CommState dcb;
  if ((error = device_->GetCommState(dcb)) != kErrorSuccess) return undo(SystemError(error));
  line_.Open(*device_, settings.options, settings.inSize);
  std::uint32_t lines = 0;
  device_->GetCommModemStatus(lines);
  triggers_.Open(lines);
  const std::int32_t result =
      ApplyLineSettings(settings.baud, settings.parity, settings.dataBits, settings.stopBits);
  if (result < 0) return undo(result);
  CommStatus status;
  device_->ClearCommError(status);
  // Errors the settings step read came from before the open as well.
  triggers_.ClearLineErrors();
  StartThreads();
  return 0;
}

// The device handle stays open until the threads are gone, so that no thread
// ever uses a closed descriptor; the owner's last step closes it.
void TApdBaseDispatcher::CloseDevice() {
  if (!device_ || stopping_.exchange(true)) return;
  PurgeOutput();
  PurgeInput();
  // Inside a delivery the dispatch thread finishes the close when it ends.
  if (triggers_.DeferClose(closing_)) return;
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
  return stopping_ || generation != lineSettingsGeneration_;
}

bool TApdBaseDispatcher::OutputQueued() {
  if (OutputUsed() > 0) return true;
  CommStatus status;
  if (device_->ClearCommError(status) != kErrorSuccess) return false;
  // Reading the device's state clears its errors: keep them for the readers.
  triggers_.NoteLineErrors(status.errors);
  return status.outQueue > 0;
}

std::int32_t TApdBaseDispatcher::ApplyLineSettings(std::int32_t baud, std::uint8_t parity,
                                                   std::uint16_t dataBits, std::uint16_t stopBits) {
  if (!device_) return ecCommNotOpen;
  const std::uint32_t generation = ++lineSettingsGeneration_;
  CommState dcb;
  if (std::uint32_t error = device_->GetCommState(dcb)) return SystemError(error);
  if (stopBits != 3) stopBits = stopBits == 0 ? 1 : stopBits > 2 ? 2 : stopBits;
  const std::uint32_t wantedBaud = baud == 0 ? dcb.baudRate : static_cast<std::uint32_t>(baud);
  if (parity == 5) parity = dcb.parity;
  const std::uint8_t byteSize = dataBits == 9 ? dcb.byteSize : static_cast<std::uint8_t>(dataBits);
  const std::uint8_t wantedStop = stopBits == 3   ? dcb.stopBits
                                  : stopBits == 1 ? kOneStopBit
                                  : byteSize == 5 ? kOne5StopBits
                                                  : kTwoStopBits;
  if (wantedBaud == dcb.baudRate && parity == dcb.parity && byteSize == dcb.byteSize &&
      wantedStop == dcb.stopBits)
    return 0;
  const auto bitsPerChar = static_cast<std::uint8_t>(1 + byteSize + (parity != 0 ? 1 : 0) +
                                                     (wantedStop == kOneStopBit ? 1 : 2));
  // Let queued output leave at the old settings, then give the line time to
  // settle before it changes. The waits deliver messages (see WaitForLine).
  bool waiting = true;
  for (int poll = 0; waiting && poll < kDrainPolls && OutputQueued(); ++poll)
    waiting = WaitForLine(kDrainPollInterval) && !Superseded(generation);
  if (std::uint32_t error = device_->GetCommState(dcb)) return SystemError(error);
  const std::uint32_t timingBaud = BitsPerSecond(line_.TimingBaud());
  if (waiting && timingBaud > 0) {
    std::uint64_t units = 10000000ull / timingBaud * bitsPerChar * kSettleCharacters;
    if (units < 10000) units *= 2;
    WaitForLine(std::chrono::milliseconds((units + 9999) / 10000));
  }
  if (Superseded(generation)) return 0;
  if (std::uint32_t error = device_->GetCommState(dcb)) return SystemError(error);
  SetBinaryMode(dcb);
  dcb.baudRate = wantedBaud;
  dcb.parity = parity;
  dcb.byteSize = byteSize;
  dcb.stopBits = wantedStop;
  const std::int32_t result = line_.Write(*device_, dcb);
  if (result == 0) line_.NoteRateWritten(wantedBaud);
  return result;
}

std::int32_t TApdBaseDispatcher::SetHardwareFlow(std::uint8_t flags, std::uint16_t bufferFull,
                                                 std::uint16_t bufferResume) {
  if (!device_) return ecCommNotOpen;
  return line_.SetHardwareFlow(*device_, flags, bufferFull, bufferResume);
}

std::int32_t TApdBaseDispatcher::SetSoftwareFlow(std::uint8_t flags, std::uint16_t bufferFull,
                                                 std::uint16_t bufferResume) {
  if (!device_) return ecCommNotOpen;
  return line_.SetSoftwareFlow(*device_, flags, bufferFull, bufferResume);
}

std::int32_t TApdBaseDispatcher::SetFlowChars(char xonChar, char xoffChar) {
  if (!device_) return ecCommNotOpen;
  return line_.SetFlowChars(*device_, xonChar, xoffChar);
}

std::int32_t TApdBaseDispatcher::SetDtr(bool on) {
  if (!device_) return ecCommNotOpen;
  return line_.SetDtr(*device_, on);
}

std::int32_t TApdBaseDispatcher::SetRts(bool on) {
  if (!device_) return ecCommNotOpen;
  return line_.SetRts(*device_, on);
}

bool TApdBaseDispatcher::DtrAutomatic() const {
  return line_.DtrAutomatic();
}

bool TApdBaseDispatcher::RtsAutomatic() const {
  return line_.RtsAutomatic();
}

std::int32_t TApdBaseDispatcher::SetQueueSizes(std::uint16_t inSize, std::uint16_t outSize) {
  if (!device_) return ecCommNotOpen;
  if (std::uint32_t error = device_->SetupComm(inSize, outSize)) return SystemError(error);
  line_.SetInputQueueSize(inSize);
  return 0;
}

void TApdBaseDispatcher::SetRS485Mode(bool on) {
  line_.SetRS485Mode(on);
}

bool TApdBaseDispatcher::RS485Mode() const {
  return line_.RS485Mode();
}

}  // namespace serial
