// The view's attachment to its port: receiving states, the data handler on
// the dispatcher thread and the drain on the GUI thread.
#include "serial/TriggerMessages.h"
#include "terminal/view/Terminal.h"

namespace terminal {

void TAdTerminal::StartReceiving() {
  if (receiving_) return;
  if (!port_ || !(port_->Open() || port_->AutoOpen())) {
    pending_ = true;
    return;
  }
  pending_ = false;
  try {
    if (!port_->Open()) port_->OpenPort();
  } catch (...) {
    pending_ = true;  // a later open of the port still starts the view
    throw;
  }
  // The handler holds the queue, so a delivery still running when the view
  // goes finds it alive; its post to a destroyed window is dropped.
  std::shared_ptr<ReceiveState> state = receive_;
  TerminalPort* port = port_;
  receiving_ =
      port_->AddDataHandler(this, [state, port](platform::UINT msg, platform::WPARAM count) {
        if (msg != serial::kMsgTriggerAvail || count == 0) return;
        auto added = state->queue.Append(count, [port](std::uint8_t* dest, std::size_t n) {
          return port->TakeInput(dest, n) ? n : 0;
        });
        // Bytes behind the first wait for the drain it asked for.
        if (added.first) platform::PostMessage(state->window, kMsgDataQueued, 0, 0);
      });
  pending_ = !receiving_;
}

void TAdTerminal::StopReceiving() {
  if (receiving_) port_->RemoveDataHandler(this);
  receiving_ = false;
  pending_ = active_;
}

// The port has cleaned up after itself (no data handler of ours runs any
// more) and is gone: forget it without calling it.
void TAdTerminal::PortDestroyed() {
  port_ = nullptr;
  active_ = false;
  receiving_ = false;
  pending_ = false;
}

void TAdTerminal::DataQueued() {
  if (useLazyDisplay_) {
    DrainQueue();  // painted at the next timer tick
  } else if (!frame_.isActive()) {
    // A view that painted a while ago takes and paints the bytes at once;
    // otherwise they and all that follow wait in the queue for the frame, so
    // a busy line wakes the GUI thread once a frame, not once a batch.
    if (FrameWait() == 0)
      PaintFrame();
    else
      ScheduleFrame();
  }
}

bool TAdTerminal::DrainQueue() {
  receive_->queue.Drain(drained_);
  if (drained_.Count() == 0) return false;
  ActiveEmulator().HandleReceivedBlock(drained_.Data(), drained_.Count());
  drained_.Clear();
  return true;
}

}  // namespace terminal
