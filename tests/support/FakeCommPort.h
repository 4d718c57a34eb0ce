// A scriptable in-memory COM port for tests.
//
// Register one under a COM number and the engine opens it like any other
// port ("\\.\COMn"). The test plays the far end: it feeds received bytes,
// reads what the engine wrote, drives the modem lines, raises line errors and
// breaks, refuses settings, plugs in a loopback, slows or stalls writes and
// makes the device vanish. It keeps the Windows semantics of
// platform/comm/CommDevice.h (one open at a time, events latched until a
// wait takes them, a received-data event per arrival) and counts every state
// write. Every member may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/comm/CommDevice.h"

namespace support {

class FakeCommPort : public platform::InMemoryCommPort,
                     public std::enable_shared_from_this<FakeCommPort> {
 public:
  FakeCommPort();

  // Creates a port and registers it under comNumber (replacing any other).
  static std::shared_ptr<FakeCommPort> Register(int comNumber);
  static void Unregister(int comNumber);

  std::unique_ptr<platform::CommDevice> Open(std::uint32_t& error) override;

  // --- The far end -----------------------------------------------------------
  void Receive(const std::vector<std::uint8_t>& bytes);
  void Receive(const std::string& text);
  // Everything the engine has written so far, taken out of the port.
  std::vector<std::uint8_t> TakeWritten();
  std::size_t WrittenCount() const;
  // Waits until at least count bytes have been written in all.
  bool WaitForWritten(std::size_t count, std::chrono::milliseconds timeout) const;
  // Written bytes come back as received bytes.
  void SetLoopback(bool on);

  // --- Lines, errors, faults -------------------------------------------------
  // Modem status bits (platform::kMsCtsOn ...); each change raises its event.
  void SetModemLines(std::uint32_t status);
  // Line error bits (platform::kCeFrame ...); raise kEvErr, kCeBreak kEvBreak.
  void RaiseLineErrors(std::uint32_t errors);
  // SetCommState fails with kErrorInvalidParameter when refuse(state) is true.
  void SetRefuseState(std::function<bool(const platform::CommState&)> refuse);
  // Each byte written takes this long.
  void SetWritePace(std::chrono::microseconds perByte);
  // Each write takes at most this many bytes and returns (a short write, as
  // with write timeouts); 0 = no limit.
  void SetWriteChunk(std::uint32_t bytes);
  // Writes block (until unstuck or aborted).
  void SetWritesStuck(bool stuck);
  // The device goes away: every later call fails with kErrorGenFailure and
  // waits in progress return that error.
  void Vanish();

  // --- What the engine did ---------------------------------------------------
  bool IsOpen() const;
  int OpenCount() const;    // successful opens
  int StateWrites() const;  // SetCommState calls that reached the device
  int EscapeCalls() const;  // EscapeCommFunction calls
  platform::CommState State() const;
  bool DtrOn() const;
  bool RtsOn() const;
  std::uint32_t EventMask() const;
  std::uint32_t InQueueSize() const;  // as set by SetupComm
  std::uint32_t OutQueueSize() const;
  std::size_t InputPending() const;  // received bytes the engine has not read

 private:
  class Device;
  friend class Device;

  void Raise(std::uint32_t events);  // lock held

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  bool open_ = false;
  int openCount_ = 0;
  bool vanished_ = false;
  std::deque<std::uint8_t> input_;
  std::vector<std::uint8_t> written_;
  std::size_t writtenTotal_ = 0;
  bool loopback_ = false;
  std::uint32_t modemLines_ = 0;
  std::uint32_t errors_ = 0;
  std::uint32_t mask_ = 0;
  std::uint64_t maskGeneration_ = 0;
  std::uint32_t pendingEvents_ = 0;
  std::function<bool(const platform::CommState&)> refuseState_;
  platform::CommState state_;
  int stateWrites_ = 0;
  int escapeCalls_ = 0;
  bool dtr_ = false;
  bool rts_ = false;
  std::uint32_t inQueueSize_ = 0;
  std::uint32_t outQueueSize_ = 0;
  std::chrono::microseconds writePace_{0};
  std::uint32_t writeChunk_ = 0;
  bool writesStuck_ = false;
  bool writing_ = false;
  bool abortWrite_ = false;
  std::uint32_t outQueue_ = 0;  // bytes of the write in progress not yet sent
};

// Registers a fake port for the life of a scope.
class ScopedFakePort {
 public:
  explicit ScopedFakePort(int comNumber)
      : comNumber_(comNumber), port_(FakeCommPort::Register(comNumber)) {}
  ~ScopedFakePort() { FakeCommPort::Unregister(comNumber_); }
  ScopedFakePort(const ScopedFakePort&) = delete;
  ScopedFakePort& operator=(const ScopedFakePort&) = delete;
  FakeCommPort& operator*() const { return *port_; }
  FakeCommPort* operator->() const { return port_.get(); }

 private:
  int comNumber_;
  std::shared_ptr<FakeCommPort> port_;
};

}  // namespace support
