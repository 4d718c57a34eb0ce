// The event, dispatch and output threads.
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "serial/Dispatcher.h"
#include "serial/ExceptionDisplay.h"

namespace serial {

namespace {

using namespace platform;

constexpr auto kThreadAckTimeout = std::chrono::milliseconds(3000);
constexpr auto kStopWaitSlice = std::chrono::milliseconds(50);
constexpr std::uint32_t kEventMask =
    kEvRxChar | kEvCts | kEvDsr | kEvRlsd | kEvBreak | kEvErr | kEvRing;  // 0x1F9
constexpr std::uint32_t kModemEventMask = kEvCts | kEvDsr | kEvRlsd | kEvRing;
// Bounds the reads of one event, so that other events are not held up.
constexpr int kReadRoundsPerEvent = 64;
// A read smaller than this means the line trickles: the next arrival comes
// as an event of its own, so reading again at once would mostly find nothing.
constexpr std::uint32_t kStreamingRead = 1024;

}  // namespace

void TApdBaseDispatcher::StartThreads() {
  {
    std::lock_guard guard(threadLock_);
    if (started_) throw std::logic_error("Dispatcher already started");
    started_ = true;
    kill_ = false;
  }
  threadAck_.ResetEvent();
  // The three flags are raised here, not by the threads, so a stop that
  // follows at once waits for threads that have not begun yet.
  comRunning_ = dispRunning_ = outRunning_ = true;
  runningThreads_ = 3;
  comThread_ = std::thread(&TApdBaseDispatcher::ComThreadMain, this);
  threadAck_.Wait(kThreadAckTimeout);
  dispThread_ = std::thread(&TApdBaseDispatcher::DispThreadMain, this);
  threadAck_.Wait(kThreadAckTimeout);
  outThread_ = std::thread(&TApdBaseDispatcher::OutThreadMain, this);
  threadAck_.Wait(kThreadAckTimeout);
}

// Stops the threads that are still running and waits for them, delivering
// the calling thread's messages meanwhile, so a thread blocked in a send to
// this thread is never left waiting.
void TApdBaseDispatcher::StopThreads(bool fromDispatchThread) {
  {
    std::lock_guard guard(threadLock_);
    if (!started_) return;
    outFlush_ = true;
  }
  kill_ = true;
  outWake_.Set();
  WaitProcessingMessages([this] {
    if (outRunning_) device_->PurgeComm(kPurgeTxAbort);  // ends a write held by flow control
    return !outRunning_;
  });
  if (comRunning_) {
    device_->SetCommMask(0);
    commEventDone_.Set();
    threadAck_.ResetEvent();
  }
  WaitProcessingMessages([this] { return !comRunning_; });
  if (!fromDispatchThread) {
    WakeDispatchThread();
    WaitProcessingMessages([this] { return !dispRunning_; });
  }
}

// What a message's handler raises is its own failure: it is shown and the
// stop goes on. A quit message is kept and posted again once the threads
// have ended, so that the stop is neither cut short nor turned into a spin.
void TApdBaseDispatcher::WaitProcessingMessages(const std::function<bool()>& done) {
  if (done()) return;
  // Ending threads post to this window, so the wait wakes at once.
  const HWND waiter = CreateMessageWindow([](UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  stopWaiter_ = waiter;
  std::optional<int> quitCode;
  while (!done()) {
    Pumped pumped = Pumped::None;
    int code = 0;
    RunUserAction([&] { pumped = ProcessOneMessage(&code); });
    if (pumped == Pumped::Quit) quitCode = code;
    if (pumped == Pumped::None && !done()) WaitMessage(kStopWaitSlice);
  }
  stopWaiter_ = 0;
  DestroyMessageWindow(waiter);
  if (quitCode) PostQuitMessage(*quitCode);
}

void TApdBaseDispatcher::WaitForThreadsToEnd() {
  WaitProcessingMessages([this] { return runningThreads_ == 0; });
}

void TApdBaseDispatcher::JoinThreads() {
  for (std::thread* thread : {&comThread_, &dispThread_, &outThread_}) {
    if (thread->joinable()) thread->join();
  }
}

// Each thread's last act: the last one clears the started flag and posts the
// stop notice. The owner joins the threads before the dispatcher goes, so
// these last steps never outlive it.
void TApdBaseDispatcher::ThreadEnded(std::atomic<bool>& running) {
  StopNotice notice;
  {
    std::lock_guard guard(threadLock_);
    running = false;
    if (--runningThreads_ == 0) {
      started_ = false;
      notice = std::exchange(stopNotice_, {});
    }
  }
  threadSignal_.notify_all();
  if (const HWND waiter = stopWaiter_) PostMessage(waiter, WM_USER, 0, 0);
  if (notice.window) PostMessage(notice.window, notice.msg, notice.wParam, notice.lParam);
}

void TApdBaseDispatcher::ComThreadMain() {
  // Arrivals wake the dispatch thread directly where the device allows.
  device_->SetCommMask(inputWaits_ ? kEventMask & ~kEvRxChar : kEventMask);
  CommTimeouts timeouts;
  timeouts.readInterval = CommTimeouts::kMaxTimeout;
  device_->SetCommTimeouts(timeouts);
  threadAck_.Set();
  commEventDone_.Set();  // no event in hand yet
  while (!kill_) {
    std::uint32_t events = 0;
    // A failed wait (the device is gone, or the mask was cleared) ends the
    // thread rather than spinning on it.
    if (device_->WaitCommEvent(events) != kErrorSuccess) break;
    if (events & kEvRing) triggers_.NoteRing();
    if (kill_) break;
    if (events == 0) continue;  // the mask changed
    // The next wait begins while an event is handled, so that the device is
    // watched throughout; the next event is handed over only once the one
    // before is done, so events are still handled one at a time.
    commEventDone_.Wait();
    if (kill_) break;
    commEvents_ = events;
    commEventReady_ = true;
    SignalDispatchThread();
  }
  threadAck_.Set();
  ThreadEnded(comRunning_);
}

void TApdBaseDispatcher::DispThreadMain() {
  threadAck_.Set();
  try {
    while (!kill_ && !closing_) {
      bool handedOver = false;
      const std::uint32_t events = WaitForDispatchWork(handedOver);
      if (kill_) break;
      if (events != 0) {
        ProcessCommEvent(events, handedOver);
      } else {
        // Bytes fetched here are new arrivals and are announced like any.
        if (input_.HasUnreadRoom() && ReadInput() > 0) {
          bool taken = false;
          CheckDataAvailable(taken);
        }
      }
      if (!closing_) StatusTriggerPass();
    }
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowUnknownException();
  }
  // A close asked for during a delivery is finished here.
  if (closing_ && !kill_) {
    StopThreads(true);
    ReleaseBuffers();
  }
  ThreadEnded(dispRunning_);
}

// The events to process: those of a comm event the event thread handed over
// (handedOver), and kEvRxChar when this thread's own input wait found
// bytes; 0 after a rescan request or a tick.
std::uint32_t TApdBaseDispatcher::WaitForDispatchWork(bool& handedOver) {
  // Without a timeout when nothing needs the tick: every change that could
  // need a pass wakes this thread itself, and a timed wait costs a timer.
  // A signal left over from work already taken only costs one extra pass.
  std::uint32_t arrivals = 0;
  if (!commEventReady_ && !rescan_) {
    const TInputBuffer::WaitState input = input_.StateForWait();
    // Conditions that can change without a device event need the tick:
    // output triggers (the ring drains), and input that waits for room.
    const bool ticks =
        input.moreWaiting || (triggers_.AnyArmed() && triggers_.OutputTriggerArmed());
    if (inputWaits_) {
      // A full buffer is not watched: the device would stay readable. The
      // tick reads again once a handler has made room.
      const bool watch = !inputGone_ && input.watchable;
      bool readable = false;
      // A device that fails its input wait is not watched again; its event
      // wait ends the event thread.
      if (device_->WaitForInput(watch, ticks ? kDispatchTick : std::chrono::milliseconds(-1),
                                readable) != kErrorSuccess)
        inputGone_ = inputGone_ || watch;
      if (readable) arrivals = kEvRxChar;
    } else if (ticks) {
      dispatchWake_.Wait(kDispatchTick);
    } else {
      dispatchWake_.Wait();
    }
  }
  rescan_ = false;
  handedOver = commEventReady_.exchange(false);
  return (handedOver ? commEvents_ : 0) | arrivals;
}

void TApdBaseDispatcher::WakeDispatchThread() {
  rescan_ = true;
  SignalDispatchThread();
}

void TApdBaseDispatcher::SignalDispatchThread() {
  if (inputWaits_)
    device_->WakeInputWait();
  else
    dispatchWake_.Set();
}

void TApdBaseDispatcher::ProcessCommEvent(std::uint32_t events, bool handedOver) {
  if (events & kModemEventMask) {
    triggers_.RefreshModemStatus(device_.get(), true);
    StatusTriggerPass();
  }
  if ((events & 0xFF) >= kEvBreak) {
    CommStatus status;
    if (device_->ClearCommError(status) == kErrorSuccess) triggers_.NoteLineErrors(status.errors);
    StatusTriggerPass();
  }
  // While data streams in, bytes that arrive as one arrival is handled are the
  // next arrival: they are read at once, as the event the device would raise
  // for them, instead of through another round trip with the event thread.
  for (int round = 0; (events & kEvRxChar) && round < kReadRoundsPerEvent; ++round) {
    const std::uint32_t read = ReadInput();
    StatusTriggerPass();
    bool taken = false;
    while (!closing_ && CheckDataAvailable(taken) && taken) {
    }
    if (read < kStreamingRead || closing_) break;
  }
  ++commEventsHandled_;
  if (handedOver) commEventDone_.Set();
}

void TApdBaseDispatcher::OutThreadMain() {
  threadAck_.Set();
  try {
    for (;;) {
      bool flush = false;
      {
        std::lock_guard guard(threadLock_);
        flush = std::exchange(outFlush_, false);
        if (flush) outFlushAck_ = true;
      }
      if (flush) {
        threadSignal_.notify_all();
        if (kill_ || closing_) break;
        continue;
      }
      if (!outReady_.exchange(false)) {
        outWake_.Wait();
        continue;
      }
      if (kill_ || closing_) break;
      WriteOutputRing();
    }
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowUnknownException();
  }
  ThreadEnded(outRunning_);
}

// Wakes the output thread and waits until it is idle (it acknowledges the
// flush); a write held by flow control is aborted.
void TApdBaseDispatcher::WaitForOutputIdle() {
  {
    std::lock_guard guard(threadLock_);
    if (!outRunning_) return;
    outFlush_ = true;
    outFlushAck_ = false;
  }
  outWake_.Set();
  std::unique_lock lock(threadLock_);
  while (!outFlushAck_ && outRunning_) {
    lock.unlock();
    device_->PurgeComm(kPurgeTxAbort);
    lock.lock();
    threadSignal_.wait_for(lock, kStopWaitSlice, [this] { return outFlushAck_ || !outRunning_; });
  }
  lock.unlock();
  // A caller writing at once is in one call that does not block.
  while (output_.WriterBusy()) std::this_thread::yield();
}

}  // namespace serial
