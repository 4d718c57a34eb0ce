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
        std::size_t added = state->queue.Append(count, [port](std::uint8_t* dest, std::size_t n) {
          return port->TakeInput(dest, n) ? n : 0;
        });
        if (added > 0) platform::PostMessage(state->window, kMsgDataQueued, 0, 0);
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

void TAdTerminal::DrainQueue() {
  receive_->queue.Drain(drained_);
  if (drained_.Count() == 0) return;
  TAdTerminalEmulator& emulator = ActiveEmulator();
  emulator.HandleReceivedBlock(drained_.Data(), drained_.Count());
  if (!useLazyDisplay_) ScheduleFrame();
  drained_.Clear();
}

}  // namespace terminal
