// Comm devices: the Windows communications calls the serial engine uses,
// behind one interface, with their Windows semantics.
//
// Every operation returns 0 on success or a Windows error number (kError...).
// A device is opened exclusively by OpenCommDevice and closed by destroying
// it. One device may be used from several threads at once: one thread blocked
// in WaitCommEvent, one in WriteFile, others reading, configuring and
// purging. Blocking calls are woken without closing anything:
//   - SetCommMask ends a pending WaitCommEvent (it returns 0 with no events);
//   - PurgeComm with kPurgeTxAbort ends a pending WriteFile (it returns
//     kErrorOperationAborted with the count written so far). A TX abort that
//     finds no write in progress may end the next write early instead, so a
//     writer treats an abort it did not ask for as "write again".
// The device must outlive every call in progress: destroy it only after the
// threads that use it have returned.
//
// A device that vanishes while open (hang-up, unplug) makes every later call
// fail with kErrorGenFailure; waits in progress return that error too.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ComNamespace.h"

namespace platform {

// Windows error numbers the comm layer produces.
constexpr std::uint32_t kErrorSuccess = 0;
constexpr std::uint32_t kErrorInvalidFunction = 1;
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorOperationAborted = 995;

// Event mask bits (SetCommMask, WaitCommEvent).
constexpr std::uint32_t kEvRxChar = 0x0001;
constexpr std::uint32_t kEvCts = 0x0008;
constexpr std::uint32_t kEvDsr = 0x0010;
constexpr std::uint32_t kEvRlsd = 0x0020;
constexpr std::uint32_t kEvBreak = 0x0040;
constexpr std::uint32_t kEvErr = 0x0080;
constexpr std::uint32_t kEvRing = 0x0100;

// Line error bits (ClearCommError).
constexpr std::uint32_t kCeRxOver = 0x01;
constexpr std::uint32_t kCeOverrun = 0x02;
constexpr std::uint32_t kCeRxParity = 0x04;
constexpr std::uint32_t kCeFrame = 0x08;
constexpr std::uint32_t kCeBreak = 0x10;

// Modem status bits (GetCommModemStatus).
constexpr std::uint32_t kMsCtsOn = 0x10;
constexpr std::uint32_t kMsDsrOn = 0x20;
constexpr std::uint32_t kMsRingOn = 0x40;
constexpr std::uint32_t kMsRlsdOn = 0x80;

// EscapeCommFunction functions.
constexpr std::uint32_t kSetXoff = 1;
constexpr std::uint32_t kSetXon = 2;
constexpr std::uint32_t kSetRts = 3;
constexpr std::uint32_t kClrRts = 4;
constexpr std::uint32_t kSetDtr = 5;
constexpr std::uint32_t kClrDtr = 6;
constexpr std::uint32_t kSetBreak = 8;
constexpr std::uint32_t kClrBreak = 9;

// PurgeComm flags.
constexpr std::uint32_t kPurgeTxAbort = 0x01;
constexpr std::uint32_t kPurgeRxAbort = 0x02;
constexpr std::uint32_t kPurgeTxClear = 0x04;
constexpr std::uint32_t kPurgeRxClear = 0x08;

// Device control block fields, as the Windows DCB holds them.
constexpr std::uint8_t kDtrControlDisable = 0;
constexpr std::uint8_t kDtrControlEnable = 1;
constexpr std::uint8_t kDtrControlHandshake = 2;
constexpr std::uint8_t kRtsControlDisable = 0;
constexpr std::uint8_t kRtsControlEnable = 1;
constexpr std::uint8_t kRtsControlHandshake = 2;
constexpr std::uint8_t kRtsControlToggle = 3;
constexpr std::uint8_t kNoParity = 0;
constexpr std::uint8_t kOddParity = 1;
constexpr std::uint8_t kEvenParity = 2;
constexpr std::uint8_t kMarkParity = 3;
constexpr std::uint8_t kSpaceParity = 4;
constexpr std::uint8_t kOneStopBit = 0;
constexpr std::uint8_t kOne5StopBits = 1;
constexpr std::uint8_t kTwoStopBits = 2;

struct CommState {
  std::uint32_t baudRate = 0;
  bool binary = true;
  bool parityCheck = false;
  bool outxCtsFlow = false;
  bool outxDsrFlow = false;
  std::uint8_t dtrControl = kDtrControlEnable;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = false;
  bool outX = false;
  bool inX = false;
  bool nullStrip = false;
  std::uint8_t rtsControl = kRtsControlEnable;
  std::uint16_t xonLim = 0;
  std::uint16_t xoffLim = 0;
  std::uint8_t byteSize = 8;
  std::uint8_t parity = kNoParity;
  std::uint8_t stopBits = kOneStopBit;
  char xonChar = 17;
  char xoffChar = 19;

  bool operator==(const CommState&) const = default;
};

// What ClearCommError reports: the error bits gathered since the last call
// (then cleared) and the bytes waiting in the device's queues.
struct CommStatus {
  std::uint32_t errors = 0;
  std::uint32_t inQueue = 0;
  std::uint32_t outQueue = 0;
};

// Only "reads return at once with what is there" (interval kMaxTimeout, all
// else 0) is needed by the engine; POSIX refuses other settings.
struct CommTimeouts {
  static constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFF;
  std::uint32_t readInterval = 0;
  std::uint32_t readTotalMultiplier = 0;
  std::uint32_t readTotalConstant = 0;
  std::uint32_t writeTotalMultiplier = 0;
  std::uint32_t writeTotalConstant = 0;
};

class CommDevice {
 public:
  virtual ~CommDevice() = default;

  virtual std::uint32_t SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) = 0;
  virtual std::uint32_t GetCommState(CommState& state) = 0;
  virtual std::uint32_t SetCommState(const CommState& state) = 0;
  virtual std::uint32_t SetCommTimeouts(const CommTimeouts& timeouts) = 0;
  virtual std::uint32_t SetCommMask(std::uint32_t mask) = 0;
  // Blocks until an event of the mask occurs (events := those seen), the
  // mask is changed (events := 0) or the device fails. A mask of 0 is
  // refused with kErrorInvalidParameter.
  virtual std::uint32_t WaitCommEvent(std::uint32_t& events) = 0;
  // Never blocks: takes up to size bytes of what the device holds.
  virtual std::uint32_t ReadFile(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read) = 0;
  // Blocks until the block is written (or aborted, see above). A back-end may
  // return sooner with fewer bytes written, as a write with a timeout does on
  // Windows (POSIX does once the line is full after taking some); the caller
  // writes the rest.
  virtual std::uint32_t WriteFile(const std::uint8_t* data, std::uint32_t size,
                                  std::uint32_t& written) = 0;
  virtual std::uint32_t ClearCommError(CommStatus& status) = 0;
  virtual std::uint32_t GetCommModemStatus(std::uint32_t& status) = 0;
  virtual std::uint32_t EscapeCommFunction(std::uint32_t function) = 0;
  virtual std::uint32_t PurgeComm(std::uint32_t flags) = 0;

  // Optional calls that spare a thread hop per arrival where the back-end
  // has them (the base answers false and kErrorInvalidFunction).
  //
  // The thread that reads may wait for received data itself, instead of
  // taking kEvRxChar events from another thread's WaitCommEvent (it then
  // leaves kEvRxChar out of the mask). WaitForInput blocks until bytes may
  // be read (readable := true; only while watchInput), WakeInputWait is
  // called, the timeout passes (negative: none) or the device fails (that
  // error, at once while watchInput). One thread waits at a time; a wake
  // that finds no wait ends the next one at once. Spurious returns happen.
  virtual bool CanWaitForInput() const { return false; }
  virtual std::uint32_t WaitForInput(bool watchInput, std::chrono::milliseconds timeout,
                                     bool& readable) {
    (void)watchInput, (void)timeout;
    readable = false;
    return kErrorInvalidFunction;
  }
  virtual void WakeInputWait() {}
  // Writes what the device takes at once (written may be 0) and returns at
  // once. A line whose output the back-end gates itself (DSR, RTS toggle)
  // takes nothing here.
  virtual bool CanWriteNow() const { return false; }
  virtual std::uint32_t WriteFileNow(const std::uint8_t* data, std::uint32_t size,
                                     std::uint32_t& written) {
    (void)data, (void)size;
    written = 0;
    return kErrorInvalidFunction;
  }
};

// An in-memory port registered under a COM number (RegisterComDevice); tests
// register fakes that derive from it. Open follows OpenCommDevice's contract.
class InMemoryCommPort : public RegisteredComDevice {
 public:
  virtual std::unique_ptr<CommDevice> Open(std::uint32_t& error) = 0;
};

// Opens "\\.\COMn" (also "COMn") for reading and writing, exclusively, as an
// existing device. An in-memory port registered under n wins; otherwise the
// native back-end opens what the COM namespace resolves n to. Opening only
// checks the device: its settings and lines stay as the kernel's open leaves
// them until the first call that configures, reads, writes or waits.
// Failure: nullptr and error = kErrorFileNotFound (no such port),
// kErrorAccessDenied (held by another program or refused), or another
// Windows error number.
std::unique_ptr<CommDevice> OpenCommDevice(const std::string& name, std::uint32_t& error);

}  // namespace platform
