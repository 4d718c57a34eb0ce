// The dispatcher: the worker object behind an open serial port.
//
// It owns the open comm device and three threads: the event thread waits for
// device events, the dispatch thread reads received bytes into the 8192-byte
// dispatch buffer, checks triggers and delivers them, the output thread
// writes the output ring to the device. Where the device allows, the dispatch
// thread waits for received bytes itself and output queued while the writer
// is idle goes to the device from the queueing thread, so that an arrival
// and its answer cost one wake-up. Handlers registered with it receive
// trigger messages:
//   - event handlers are called directly on the dispatch thread, with no lock
//     of the dispatcher held, so they may take input, queue output and arm
//     triggers; they must not wait for the GUI thread;
//   - window handlers get a blocking SendMessageTimeout (3000 ms; a handler
//     that does not answer in time is skipped for that message).
// Every handler of one data-available delivery (kMsgTriggerAvail, wParam =
// bytes available) sees the same bytes from the same start through
// TakeInput; the buffer gives up as many as the handler that took the most.
//
// Results: 0 or a positive count on success, a negative engine error code
// (ErrorCodes.h) on failure. Data, trigger, handler and reader operations may
// be called from any thread; opening, closing and line settings belong to
// the thread that owns the port (the GUI thread).
//
// The dispatcher composes parts that each own their state and its lock:
//   TInputBuffer  the dispatch buffer           input lock
//   TOutputRing   the output ring               output lock
//   TTriggerSet   triggers, line state they     main lock
//                 watch, handlers, delivery
//   TLineControl  DTR, RTS, flow settings       none: owner thread only
//   this class    threads' started flag, stop   thread lock
//                 notice, output thread's flush
// and the process-wide registry lock guards the registry of dispatchers.
//
// Lock order: every one of these locks is a leaf. None is taken while
// another is held, none is held while a handler runs or a message is sent or
// waited for, and none is held across a device call that can block. The
// device's own locks come after all of them: the input lock is held over the
// device's reads and queue counts, the main lock over its modem-line read
// (neither blocks); every other device call runs with no lock held.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Events.h"
#include "platform/Messages.h"
#include "platform/comm/CommDevice.h"
#include "serial/InputBuffer.h"
#include "serial/LineControl.h"
#include "serial/OutputRing.h"
#include "serial/TriggerMessages.h"
#include "serial/TriggerSet.h"

namespace serial {

// What the port hands the device open.
struct PortOpenSettings {
  std::string deviceName;  // "\\.\COM%d"
  std::int32_t baud = 19200;
  std::uint8_t options = 0;  // kOptionDtr | kOptionRts | kOptionUseDtr | kOptionUseRts
  std::uint16_t outSize = 4096;
  std::uint16_t inSize = 4096;
  std::uint16_t dataBits = 8;
  std::uint16_t stopBits = 1;
  std::uint8_t parity = 0;
};

class TApdBaseDispatcher {
 public:
  using EventHandler = TTriggerSet::EventHandler;
  using DeliveryRequest = TTriggerSet::DeliveryRequest;

  static constexpr std::uint32_t kDispatchBufferSize = TInputBuffer::kSize;
  static constexpr auto kWindowSendTimeout = std::chrono::milliseconds(3000);
  // The dispatch thread's tick while something may need it (an output
  // trigger armed, input waiting for room); otherwise it sleeps until woken.
  static constexpr auto kDispatchTick = std::chrono::milliseconds(50);

  TApdBaseDispatcher();
  TApdBaseDispatcher(const TApdBaseDispatcher&) = delete;
  TApdBaseDispatcher& operator=(const TApdBaseDispatcher&) = delete;
  // Closes the device if open (waiting for the threads), then unregisters.
  virtual ~TApdBaseDispatcher();

  // The registry slot; travels in the high word of lParam of trigger messages.
  std::uint16_t Handle() const { return handle_; }
  // The registered dispatcher with that handle, or nullptr.
  static TApdBaseDispatcher* FromHandle(std::uint16_t handle);

  // --- Open and close (owner thread) ---------------------------------------
  // Opens the device, sizes its queues, allocates the buffers, sets DTR/RTS,
  // applies the line settings and starts the threads. Failure: minus the
  // system error code (or -8), with the device closed again; -2008 when this
  // dispatcher already has a device.
  std::int32_t InitializePort(const PortOpenSettings& settings);
  // Purges and closes. From inside a delivery only the closing flag is set:
  // the delivery stops after the running handler and the dispatch thread,
  // ending, stops the other threads and releases the device and buffers.
  void CloseDevice();
  bool DeviceOpen() const { return device_ != nullptr; }
  bool Started() const;
  bool Delivering() const;
  bool Closing() const { return closing_; }
  // Device events handled completely so far (a monotonic count for observers).
  std::uint64_t CommEventsHandled() const { return commEventsHandled_; }
  // Posts msg to window as soon as the threads have ended (at once if they
  // have), so a caller waits for the end without polling.
  void PostWhenStopped(platform::HWND window, platform::UINT msg, platform::WPARAM wParam,
                       platform::LPARAM lParam);

  // --- Line settings (owner thread) -----------------------------------------
  // Sentinels keep the device's value: baud 0, parity 5, data bits 9, stop bits 3.
  // A change waits for queued output to leave (up to 10 s) and for the line
  // to settle (18 characters); once the threads run, it delivers the owner
  // thread's messages meanwhile (on the GUI thread toolkit events too), so
  // the caller must expect handlers to run. A close begun meanwhile, or a
  // later change made meanwhile, leaves the device to them (result 0).
  std::int32_t ApplyLineSettings(std::int32_t baud, std::uint8_t parity, std::uint16_t dataBits,
                                 std::uint16_t stopBits);
  // -1002 when bufferFull < bufferResume or bufferFull > the input size.
  std::int32_t SetHardwareFlow(std::uint8_t flags, std::uint16_t bufferFull,
                               std::uint16_t bufferResume);
  std::int32_t SetSoftwareFlow(std::uint8_t flags, std::uint16_t bufferFull,
                               std::uint16_t bufferResume);
  std::int32_t SetFlowChars(char xonChar, char xoffChar);
  // Ignored (result 0, state unchanged) while the line is under handshake.
  std::int32_t SetDtr(bool on);
  std::int32_t SetRts(bool on);
  bool DtrAutomatic() const;
  bool RtsAutomatic() const;
  std::int32_t SetQueueSizes(std::uint16_t inSize, std::uint16_t outSize);
  // On: RTS is recorded off; the next SetHardwareFlow gives it to the
  // transmitter. Hardware flow on RTS or CTS turns the mode off.
  void SetRS485Mode(bool on);
  bool RS485Mode() const;
  std::int32_t PurgeInput();
  std::int32_t PurgeOutput();

  // --- Data (any thread) ----------------------------------------------------
  // 0, or -3006 when the ring lacks room (nothing is queued). While the
  // writer is idle the calling thread hands the block to the device itself,
  // without blocking; the output thread writes what the device did not take.
  std::int32_t QueueOutput(const std::uint8_t* block, std::uint32_t length);
  // One byte (0..255), or -3007 when none is there.
  std::int32_t TakeInput();
  // The whole block (0), or -3007 and nothing taken.
  std::int32_t TakeInput(std::uint8_t* block, std::uint32_t length);
  std::uint32_t InputAvailable();
  std::uint32_t OutputUsed();
  std::uint32_t OutputFree();

  // --- Triggers (any thread) ------------------------------------------------
  // Kind 0..5; the new handle, or -1002.
  std::int32_t CreateStatusTrigger(std::uint32_t kind);
  // -5003 for an unknown handle.
  std::int32_t ArmStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate);
  // Handle 1 turns the data-available trigger off; -5003 for an unknown handle.
  std::int32_t RemoveTrigger(std::uint16_t handle);
  void SetAvailThreshold(std::uint32_t threshold);
  std::uint32_t AvailThreshold() const;
  SavedTriggers SaveTriggers() const;
  void RestoreTriggers(const SavedTriggers& saved);

  // --- Handlers (any thread) ------------------------------------------------
  // A removal during a delivery marks the record; it goes when the delivery ends.
  void AddWindowHandler(platform::HWND window);
  void RemoveWindowHandler(platform::HWND window);
  // owner identifies the handler for removal (one handler per owner).
  void AddEventHandler(const void* owner, EventHandler handler);
  void RemoveEventHandler(const void* owner);
  void RecomputeDelivery(DeliveryRequest request);
  // The trigger messages the port's own window handles (all until told).
  void SetPortHandlerMessages(TriggerMessageSet messages);

  // --- Modem and line state (any thread) ------------------------------------
  // The modem-status byte read fresh from the device; then the change bits in
  // clearMask are cleared.
  std::uint8_t ReadModemStatus(std::uint8_t clearMask);
  // Pending line errors (overflow, overrun, parity, framing bits) and break;
  // reading clears them.
  std::uint8_t LineError();
  bool LineBreak();
  // The open device has gone away (a far-end hang-up, an adapter pulled
  // out): it fails every call, as a vanished device does. Owner thread.
  bool DeviceGone();

 protected:
  // The device layer: opens "\\.\COMn" exclusively.
  virtual std::unique_ptr<platform::CommDevice> OpenDevice(const std::string& name,
                                                           std::uint32_t& error) = 0;

 private:
  enum class DeliveryResult { Taken, NotTaken };

  bool OutputQueued();
  bool Superseded(std::uint32_t lineSettingsGeneration) const;
  bool WaitForLine(std::chrono::milliseconds duration);
  void ReleaseBuffers();
  std::uint32_t ReadInput();
  bool CheckDataAvailable(bool& takenCompletely);
  bool CheckStatusTriggers();
  void StatusTriggerPass();
  DeliveryResult DeliverTrigger(platform::UINT msg, platform::WPARAM wParam, std::uint16_t lowWord);
  void WriteOutputRing();
  void WaitForOutputIdle();

  // Threads (DispatcherThreads.cpp).
  void StartThreads();
  void StopThreads(bool fromDispatchThread);
  void WaitProcessingMessages(const std::function<bool()>& done);
  void WaitForThreadsToEnd();
  void JoinThreads();
  void ThreadEnded(std::atomic<bool>& running);
  void ComThreadMain();
  void DispThreadMain();
  void OutThreadMain();
  void ProcessCommEvent(std::uint32_t events, bool handedOver);
  std::uint32_t WaitForDispatchWork(bool& handedOver);
  void WakeDispatchThread();
  void SignalDispatchThread();

  std::uint16_t handle_ = 0;
  std::unique_ptr<platform::CommDevice> device_;

  TInputBuffer input_;
  TOutputRing output_;
  TTriggerSet triggers_;
  TLineControl line_;                         // owner thread
  std::uint32_t lineSettingsGeneration_ = 0;  // owner thread

  // Thread control.
  std::atomic<bool> stopping_{false};  // a close has begun
  std::atomic<bool> closing_{false};   // the close waits for the running delivery
  std::atomic<bool> kill_{false};
  std::atomic<int> runningThreads_{0};
  std::atomic<bool> comRunning_{false};
  std::atomic<bool> dispRunning_{false};
  std::atomic<bool> outRunning_{false};
  std::atomic<platform::HWND> stopWaiter_{0};
  std::thread comThread_;
  std::thread dispThread_;
  std::thread outThread_;
  std::uint32_t commEvents_ = 0;  // handed from the event thread to the dispatch thread
  // Where the device allows (set at open): the dispatch thread waits for
  // received bytes itself, so an arrival wakes one thread, not two; queued
  // output goes to the device at once while the writer is idle.
  std::atomic<bool> inputWaits_{false};
  std::atomic<bool> writesNow_{false};
  bool inputGone_ = false;  // dispatch thread: the device failed its input wait
  std::atomic<std::uint64_t> commEventsHandled_{0};
  // Dispatch thread wake-ups: a comm event is ready, or a rescan is wanted
  // (a trigger was armed, the threads stop). The flags are raised before the
  // event (or the device's input wait) is woken.
  platform::AutoResetEvent dispatchWake_;
  std::atomic<bool> commEventReady_{false};
  std::atomic<bool> rescan_{false};
  platform::AutoResetEvent commEventDone_;
  platform::AutoResetEvent threadAck_;
  // Output thread wake-ups: output ready and output flush, each raised
  // before the event is set.
  platform::AutoResetEvent outWake_;
  std::atomic<bool> outReady_{false};

  // Thread lock: the started flag, the stop notice, and the output thread's
  // flush request and acknowledge; threadSignal_ tells waiters that a flush
  // was acknowledged or a thread ended.
  mutable std::mutex threadLock_;
  std::condition_variable threadSignal_;
  bool started_ = false;
  struct StopNotice {
    platform::HWND window = 0;
    platform::UINT msg = 0;
    platform::WPARAM wParam = 0;
    platform::LPARAM lParam = 0;
  } stopNotice_;
  bool outFlush_ = false;
  bool outFlushAck_ = false;
};

// The dispatcher over the platform's comm devices.
class TApdWin32Dispatcher : public TApdBaseDispatcher {
 public:
  TApdWin32Dispatcher() = default;
  ~TApdWin32Dispatcher() override = default;

 protected:
  std::unique_ptr<platform::CommDevice> OpenDevice(const std::string& name,
                                                   std::uint32_t& error) override;
};

}  // namespace serial
