// The Win32 comm back-end: the Windows communications API with overlapped
// I/O, as platform/comm/CommDevice.h describes it.
#include <windows.h>

#include "platform/comm/NativeComm.h"

namespace platform {
namespace {

std::uint32_t LastError() {
  return static_cast<std::uint32_t>(::GetLastError());
}

class Win32CommDevice final : public CommDevice {
 public:
  Win32CommDevice(HANDLE handle, HANDLE waitEvent, HANDLE readEvent, HANDLE writeEvent)
      : handle_(handle), waitEvent_(waitEvent), readEvent_(readEvent), writeEvent_(writeEvent) {}

  ~Win32CommDevice() override {
    ::CloseHandle(handle_);
    ::CloseHandle(waitEvent_);
    ::CloseHandle(readEvent_);
    ::CloseHandle(writeEvent_);
  }

  std::uint32_t SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) override {
    return ::SetupComm(handle_, inQueue, outQueue) ? kErrorSuccess : LastError();
  }

  std::uint32_t GetCommState(CommState& state) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return LastError();
    state.baudRate = dcb.BaudRate;
    state.binary = dcb.fBinary;
    state.parityCheck = dcb.fParity;
    state.outxCtsFlow = dcb.fOutxCtsFlow;
    state.outxDsrFlow = dcb.fOutxDsrFlow;
    state.dtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
    state.dsrSensitivity = dcb.fDsrSensitivity;
    state.txContinueOnXoff = dcb.fTXContinueOnXoff;
    state.outX = dcb.fOutX;
    state.inX = dcb.fInX;
    state.nullStrip = dcb.fNull;
    state.rtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
    state.xonLim = dcb.XonLim;
    state.xoffLim = dcb.XoffLim;
    state.byteSize = dcb.ByteSize;
    state.parity = dcb.Parity;
    state.stopBits = dcb.StopBits;
    state.xonChar = dcb.XonChar;
    state.xoffChar = dcb.XoffChar;
    return kErrorSuccess;
  }

  std::uint32_t SetCommState(const CommState& state) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return LastError();
    dcb.BaudRate = state.baudRate;
    dcb.fBinary = state.binary;
    dcb.fParity = state.parityCheck;
    dcb.fOutxCtsFlow = state.outxCtsFlow;
    dcb.fOutxDsrFlow = state.outxDsrFlow;
    dcb.fDtrControl = state.dtrControl;
    dcb.fDsrSensitivity = state.dsrSensitivity;
    dcb.fTXContinueOnXoff = state.txContinueOnXoff;
    dcb.fOutX = state.outX;
    dcb.fInX = state.inX;
    dcb.fNull = state.nullStrip;
    dcb.fRtsControl = state.rtsControl;
    dcb.XonLim = state.xonLim;
    dcb.XoffLim = state.xoffLim;
    dcb.ByteSize = state.byteSize;
    dcb.Parity = state.parity;
    dcb.StopBits = state.stopBits;
    dcb.XonChar = state.xonChar;
    dcb.XoffChar = state.xoffChar;
    return ::SetCommState(handle_, &dcb) ? kErrorSuccess : LastError();
  }

  std::uint32_t SetCommTimeouts(const CommTimeouts& timeouts) override {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = timeouts.readInterval;
    t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    t.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    t.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    return ::SetCommTimeouts(handle_, &t) ? kErrorSuccess : LastError();
  }

  std::uint32_t SetCommMask(std::uint32_t mask) override {
    return ::SetCommMask(handle_, mask) ? kErrorSuccess : LastError();
  }

  std::uint32_t WaitCommEvent(std::uint32_t& events) override {
    events = 0;
    DWORD mask = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = waitEvent_;
    if (!::WaitCommEvent(handle_, &mask, &overlapped)) {
      if (::GetLastError() != ERROR_IO_PENDING) return LastError();
      DWORD unused = 0;
      if (!::GetOverlappedResult(handle_, &overlapped, &unused, TRUE)) return LastError();
    }
    events = mask;
    return kErrorSuccess;
  }

  std::uint32_t ReadFile(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read) override {
    read = 0;
    DWORD count = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = readEvent_;
    if (!::ReadFile(handle_, buffer, size, &count, &overlapped)) {
      if (::GetLastError() != ERROR_IO_PENDING) return LastError();
      if (!::GetOverlappedResult(handle_, &overlapped, &count, TRUE)) return LastError();
    }
    read = count;
    return kErrorSuccess;
  }

  // A TX abort (PurgeComm) completes a pending write with
  // ERROR_OPERATION_ABORTED and the count written so far.
  std::uint32_t WriteFile(const std::uint8_t* data, std::uint32_t size,
                          std::uint32_t& written) override {
    written = 0;
    DWORD count = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = writeEvent_;
    std::uint32_t result = kErrorSuccess;
    if (!::WriteFile(handle_, data, size, &count, &overlapped)) {
      if (::GetLastError() != ERROR_IO_PENDING) return LastError();
      if (!::GetOverlappedResult(handle_, &overlapped, &count, TRUE)) result = LastError();
    }
    written = count;
    return result;
  }

  std::uint32_t ClearCommError(CommStatus& status) override {
    DWORD errors = 0;
    COMSTAT comStat{};
    if (!::ClearCommError(handle_, &errors, &comStat)) return LastError();
    status.errors = errors;
    status.inQueue = comStat.cbInQue;
    status.outQueue = comStat.cbOutQue;
    return kErrorSuccess;
  }

  std::uint32_t GetCommModemStatus(std::uint32_t& status) override {
    DWORD modem = 0;
    if (!::GetCommModemStatus(handle_, &modem)) return LastError();
    status = modem;
    return kErrorSuccess;
  }

  std::uint32_t EscapeCommFunction(std::uint32_t function) override {
    return ::EscapeCommFunction(handle_, function) ? kErrorSuccess : LastError();
  }

  std::uint32_t PurgeComm(std::uint32_t flags) override {
    return ::PurgeComm(handle_, flags) ? kErrorSuccess : LastError();
  }

 private:
  const HANDLE handle_;
  const HANDLE waitEvent_;
  const HANDLE readEvent_;
  const HANDLE writeEvent_;
};

}  // namespace

std::unique_ptr<CommDevice> OpenNativeCommDevice(int comNumber, const std::string& name,
                                                 std::uint32_t& error) {
  const std::string path = comNumber > 0 ? ResolveComPath(comNumber) : name;
  HANDLE handle =
      ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastError();
    return nullptr;
  }
  HANDLE events[3] = {};
  for (HANDLE& event : events) {
    event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
      for (HANDLE made : events)
        if (made) ::CloseHandle(made);
      ::CloseHandle(handle);
      error = kErrorNotEnoughMemory;
      return nullptr;
    }
  }
  error = kErrorSuccess;
  return std::make_unique<Win32CommDevice>(handle, events[0], events[1], events[2]);
}

}  // namespace platform
