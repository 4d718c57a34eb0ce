// The data operations: received bytes through the input buffer, queued
// output through the output ring.
#include "serial/Dispatcher.h"
#include "serial/ErrorCodes.h"

namespace serial {

// Frees both buffers; the sizes stay, so that counts read zero used.
void TApdBaseDispatcher::ReleaseBuffers() {
  input_.Release();
  output_.Release();
}

// Dispatch thread.
std::uint32_t TApdBaseDispatcher::ReadInput() {
  std::uint32_t errors = 0;
  const std::uint32_t total = input_.Fill(*device_, errors);
  if (errors) triggers_.NoteLineErrors(errors);
  return total;
}

std::uint32_t TApdBaseDispatcher::InputAvailable() {
  return input_.Available();
}

std::int32_t TApdBaseDispatcher::TakeInput() {
  std::uint8_t byte = 0;
  const std::int32_t result = TakeInput(&byte, 1);
  return result < 0 ? result : byte;
}

std::int32_t TApdBaseDispatcher::TakeInput(std::uint8_t* block, std::uint32_t length) {
  return input_.Take(block, length);
}

// Sends 0x7E01 once for each arrival of new data that brings the bytes
// available to the threshold. True when a message was delivered.
bool TApdBaseDispatcher::CheckDataAvailable(bool& takenCompletely) {
  takenCompletely = false;
  const std::uint32_t available = input_.Announce(triggers_.AvailThreshold());
  if (available == 0) return false;
  takenCompletely = DeliverTrigger(kMsgTriggerAvail, available, 0) == DeliveryResult::Taken;
  return true;
}

std::int32_t TApdBaseDispatcher::PurgeInput() {
  if (device_) {
    const std::uint32_t error =
        device_->PurgeComm(platform::kPurgeRxAbort | platform::kPurgeRxClear);
    if (error != platform::kErrorSuccess) return SystemError(error);
  }
  input_.Purge();
  return 0;
}

std::uint32_t TApdBaseDispatcher::OutputUsed() {
  return output_.Used();
}

std::uint32_t TApdBaseDispatcher::OutputFree() {
  return output_.Free();
}

// While the writer is idle, the caller hands the block to the device at
// once, sparing the output thread's wake-up; what the device does not take
// is left to the output thread.
std::int32_t TApdBaseDispatcher::QueueOutput(const std::uint8_t* block, std::uint32_t length) {
  if (length == 0) return 0;
  TOutputRing::Turn turn;
  if (const std::int32_t result = output_.Queue(block, length, writesNow_, turn)) return result;
  triggers_.NoteOutputSent();
  if (turn.taken) {
    std::uint32_t written = 0;
    const std::uint32_t error = device_->WriteFileNow(block, length, written);
    // A failed write drops its data, as the output thread's does.
    if (output_.EndTurn(turn, error == platform::kErrorSuccess ? written : length) == 0) return 0;
  }
  outReady_ = true;
  outWake_.Set();
  return 0;
}

// Output thread: writes the ring in contiguous stretches until it is empty
// or a flush is asked for.
void TApdBaseDispatcher::WriteOutputRing() {
  for (;;) {
    {
      std::lock_guard guard(threadLock_);
      if (outFlush_) return;
    }
    const std::uint8_t* stretch = nullptr;
    std::uint32_t length = 0;
    TOutputRing::Turn turn;
    // A caller writing at once wakes this thread again if bytes are left.
    if (!output_.TakeStretch(stretch, length, turn)) return;
    std::uint32_t written = 0;
    const std::uint32_t error = device_->WriteFile(stretch, length, written);
    // A failed write drops its data; an aborted one keeps what is left.
    const bool kept = error == platform::kErrorSuccess || error == platform::kErrorOperationAborted;
    output_.EndTurn(turn, kept ? written : length);
  }
}

// The ring is emptied before the output thread is stopped, so that a stretch
// it takes meanwhile is either empty or aborted with the write.
std::int32_t TApdBaseDispatcher::PurgeOutput() {
  output_.Clear();
  WaitForOutputIdle();
  if (!device_) return 0;
  const std::uint32_t error = device_->PurgeComm(platform::kPurgeTxAbort | platform::kPurgeTxClear);
  return error == platform::kErrorSuccess ? 0 : SystemError(error);
}

}  // namespace serial
