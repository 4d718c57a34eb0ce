// The dispatch buffer (received bytes) and the output ring.
#include <algorithm>
#include <cstring>

#include "serial/Dispatcher.h"
#include "serial/ErrorCodes.h"

namespace serial {

namespace {
constexpr std::uint32_t kBufferSize = TApdBaseDispatcher::kDispatchBufferSize;
}

// Owner thread, before the threads start.
void TApdBaseDispatcher::ResetBuffers(std::uint32_t inSize, std::uint32_t outSize) {
  {
    std::lock_guard guard(inputLock_);
    dispatchBuffer_.assign(kBufferSize, 0);
    inWrite_ = inRead_ = 0;
    inFull_ = moreInput_ = false;
    receivedTotal_ = notifiedTotal_ = 0;
    takeCount_ = largestTake_ = 0;
    deliveringData_ = false;
    inSize_ = inSize;
  }
  std::lock_guard guard(outputLock_);
  outRing_.assign(2 * std::size_t{outSize}, 0);
  outWrite_ = outRead_ = 0;
  outFull_ = false;
  outSize_ = outSize;
  ++outGeneration_;
}

// Frees both buffers; the sizes stay, so that counts read zero used.
void TApdBaseDispatcher::ReleaseBuffers() {
  {
    std::lock_guard guard(inputLock_);
    dispatchBuffer_ = {};
    inWrite_ = inRead_ = 0;
    inFull_ = moreInput_ = false;
    takeCount_ = largestTake_ = 0;
  }
  std::lock_guard guard(outputLock_);
  outRing_ = {};
  outWrite_ = outRead_ = 0;
  outFull_ = false;
  ++outGeneration_;
}

// Dispatch thread. Reads what the device holds in at most two reads, straight
// into the buffer; the device never blocks a read. A read that finds nothing
// costs no more than asking for the count, so the count is asked for only
// when the buffer is full, to know whether more input waits.
std::uint32_t TApdBaseDispatcher::ReadInput() {
  std::uint32_t errors = 0;
  std::uint32_t total = 0;
  {
    std::lock_guard guard(inputLock_);
    if (dispatchBuffer_.empty()) return 0;
    if (inFull_) {
      if (!moreInput_) moreInput_ = DeviceHoldsInput(errors);
    } else {
      total = ReadIntoBuffer();
      moreInput_ = inFull_ && DeviceHoldsInput(errors);
    }
  }
  if (errors) {
    std::lock_guard guard(mainLock_);
    lineErrors_ |= static_cast<std::uint8_t>(errors & 0x1F);
  }
  return total;
}

// Input lock held: the free room in at most two reads.
std::uint32_t TApdBaseDispatcher::ReadIntoBuffer() {
  // An empty buffer starts over at its beginning, so that one read can fill
  // it whole; a read into the stretch left before its end would be followed
  // by a second read that mostly finds nothing.
  if (inWrite_ == inRead_ && !inFull_ && !deliveringData_) inWrite_ = inRead_ = 0;
  const std::uint32_t freeRoom =
      inWrite_ == inRead_ ? kBufferSize : (inRead_ + kBufferSize - inWrite_) % kBufferSize;
  const std::uint32_t stretch = inWrite_ >= inRead_ ? kBufferSize - inWrite_ : inRead_ - inWrite_;
  std::uint32_t total = 0;
  if (device_->ReadFile(dispatchBuffer_.data() + inWrite_, stretch, total) !=
      platform::kErrorSuccess)
    total = 0;
  if (total == stretch && freeRoom > stretch) {
    std::uint32_t second = 0;
    if (device_->ReadFile(dispatchBuffer_.data(), freeRoom - stretch, second) ==
        platform::kErrorSuccess)
      total += second;
  }
  inWrite_ = (inWrite_ + total) % kBufferSize;
  if (total > 0) {
    inFull_ = inWrite_ == inRead_;
    receivedTotal_ += total;
  }
  return total;
}

// Input lock held. Adds the device's pending line errors to errors.
bool TApdBaseDispatcher::DeviceHoldsInput(std::uint32_t& errors) {
  platform::CommStatus status;
  if (device_->ClearCommError(status) != platform::kErrorSuccess) return false;
  errors |= status.errors;
  return status.inQueue > 0;
}

std::uint32_t TApdBaseDispatcher::BytesAvailableLocked() const {
  if (dispatchBuffer_.empty()) return 0;
  const std::uint32_t held =
      inFull_ ? kBufferSize : (inWrite_ + kBufferSize - inRead_) % kBufferSize;
  return deliveringData_ ? held - std::min(held, takeCount_) : held;
}

std::uint32_t TApdBaseDispatcher::InputAvailable() {
  std::lock_guard guard(inputLock_);
  return BytesAvailableLocked();
}

std::int32_t TApdBaseDispatcher::TakeInput() {
  std::uint8_t byte = 0;
  const std::int32_t result = TakeInput(&byte, 1);
  return result < 0 ? result : byte;
}

// During a data-available delivery a handler reads from where the running
// handler has got to; the read index moves when the delivery ends.
std::int32_t TApdBaseDispatcher::TakeInput(std::uint8_t* block, std::uint32_t length) {
  std::lock_guard guard(inputLock_);
  if (length > BytesAvailableLocked()) return ecBufferIsEmpty;
  if (length == 0) return 0;
  const std::uint32_t start = deliveringData_ ? (inRead_ + takeCount_) % kBufferSize : inRead_;
  const std::uint32_t first = std::min(length, kBufferSize - start);
  std::memcpy(block, dispatchBuffer_.data() + start, first);
  std::memcpy(block + first, dispatchBuffer_.data(), length - first);
  if (deliveringData_) {
    takeCount_ += length;
  } else {
    inRead_ = (inRead_ + length) % kBufferSize;
    inFull_ = false;
  }
  return 0;
}

// Sends 0x7E01 once for each arrival of new data that brings the bytes
// available to the threshold. True when a message was delivered.
bool TApdBaseDispatcher::CheckDataAvailable(bool& takenCompletely) {
  takenCompletely = false;
  std::uint32_t threshold = 0;
  {
    std::lock_guard guard(mainLock_);
    threshold = availThreshold_;
  }
  std::uint32_t available = 0;
  {
    std::lock_guard guard(inputLock_);
    if (threshold == 0 || receivedTotal_ == notifiedTotal_) return false;
    available = BytesAvailableLocked();
    if (available < threshold) return false;
    notifiedTotal_ = receivedTotal_;
  }
  takenCompletely = DeliverTrigger(kMsgTriggerAvail, available, 0) == DeliveryResult::Taken;
  return true;
}

std::int32_t TApdBaseDispatcher::PurgeInput() {
  if (device_) {
    const std::uint32_t error =
        device_->PurgeComm(platform::kPurgeRxAbort | platform::kPurgeRxClear);
    if (error != platform::kErrorSuccess) return -static_cast<std::int32_t>(error);
  }
  std::lock_guard guard(inputLock_);
  if (deliveringData_) {
    // The whole buffer is given up when the running delivery ends.
    largestTake_ = inFull_ ? kBufferSize : (inWrite_ + kBufferSize - inRead_) % kBufferSize;
  } else {
    inRead_ = inWrite_;
    takeCount_ = 0;
    inFull_ = false;
  }
  return 0;
}

std::uint32_t TApdBaseDispatcher::OutputUsedLocked() const {
  if (outFull_) return outSize_;
  return (outWrite_ + outSize_ - outRead_) % std::max<std::uint32_t>(outSize_, 1);
}

std::uint32_t TApdBaseDispatcher::OutputUsed() {
  std::lock_guard guard(outputLock_);
  return OutputUsedLocked();
}

std::uint32_t TApdBaseDispatcher::OutputFree() {
  std::lock_guard guard(outputLock_);
  return outSize_ - OutputUsedLocked();
}

// The block goes into the ring in every case, so that whatever is queued
// meanwhile stays behind it. While the writer is idle, the caller then hands
// it to the device at once, sparing the output thread's wake-up; what the
// device does not take is left to the output thread.
std::int32_t TApdBaseDispatcher::QueueOutput(const std::uint8_t* block, std::uint32_t length) {
  if (length == 0) return 0;
  bool writeNow = false;
  std::uint64_t generation = 0;
  {
    std::lock_guard guard(outputLock_);
    if (outRing_.empty()) return ecCommNotOpen;
    const std::uint32_t used = OutputUsedLocked();
    if (outSize_ - used < length) return ecOutputBufferTooSmall;
    const std::uint32_t first = std::min(length, outSize_ - outWrite_);
    CopyIntoRing(outWrite_, block, first);
    CopyIntoRing(0, block + first, length - first);
    outWrite_ = (outWrite_ + length) % outSize_;
    if (outWrite_ == outRead_) outFull_ = true;
    writeNow = writesNow_ && used == 0 && !writerBusy_;
    writerBusy_ = writerBusy_ || writeNow;
    generation = outGeneration_;
  }
  {
    std::lock_guard guard(mainLock_);
    outputSent_ = true;
  }
  if (writeNow && !WriteQueuedNow(block, length, generation)) return 0;
  outReady_ = true;
  outWake_.Set();
  return 0;
}

// The caller holds the writer role for the block it just queued at the
// ring's start. True when bytes are left for the output thread.
bool TApdBaseDispatcher::WriteQueuedNow(const std::uint8_t* block, std::uint32_t length,
                                        std::uint64_t generation) {
  std::uint32_t written = 0;
  const std::uint32_t error = device_->WriteFileNow(block, length, written);
  std::lock_guard guard(outputLock_);
  writerBusy_ = false;
  // A failed write drops its data, as the output thread's does.
  const std::uint32_t done = error == platform::kErrorSuccess ? written : length;
  if (generation == outGeneration_ && done > 0) AdvanceOutputLocked(done);
  return OutputUsedLocked() > 0;
}

// Output lock held. Each byte of the ring is kept twice, at its index and its
// index plus the ring size, so that the queued bytes lie together from the
// read index even when they wrap: the device takes them all in one write
// without the ring being rotated (moving every byte) first.
void TApdBaseDispatcher::CopyIntoRing(std::uint32_t index, const std::uint8_t* bytes,
                                      std::uint32_t count) {
  std::memcpy(outRing_.data() + index, bytes, count);
  std::memcpy(outRing_.data() + outSize_ + index, bytes, count);
}

// Output lock held: count bytes of the ring have gone to the device.
void TApdBaseDispatcher::AdvanceOutputLocked(std::uint32_t count) {
  outRead_ = (outRead_ + count) % outSize_;
  outFull_ = false;
  if (outRead_ == outWrite_) outRead_ = outWrite_ = 0;
}

// Output thread: writes the ring in contiguous stretches until it is empty
// or a flush is asked for.
void TApdBaseDispatcher::WriteOutputRing() {
  for (;;) {
    {
      std::lock_guard guard(outSignalLock_);
      if (outFlush_) return;
    }
    const std::uint8_t* stretch = nullptr;
    std::uint32_t length = 0;
    std::uint64_t generation = 0;
    {
      std::lock_guard guard(outputLock_);
      const std::uint32_t used = OutputUsedLocked();
      // A caller writing at once wakes this thread again if bytes are left.
      if (used == 0 || outRing_.empty() || writerBusy_) return;
      // The mirror makes all queued bytes one stretch, wrapped or not.
      length = used;
      stretch = outRing_.data() + outRead_;
      generation = outGeneration_;
      writerBusy_ = true;
    }
    std::uint32_t written = 0;
    const std::uint32_t error = device_->WriteFile(stretch, length, written);
    // A failed write drops its data; an aborted one keeps what is left.
    const std::uint32_t done =
        error == platform::kErrorSuccess || error == platform::kErrorOperationAborted ? written
                                                                                      : length;
    {
      std::lock_guard guard(outputLock_);
      writerBusy_ = false;
      if (generation == outGeneration_ && done > 0) AdvanceOutputLocked(done);
    }
  }
}

// The ring is emptied before the output thread is stopped, so that a stretch
// it takes meanwhile is either empty or aborted with the write.
std::int32_t TApdBaseDispatcher::PurgeOutput() {
  {
    std::lock_guard guard(outputLock_);
    outRead_ = outWrite_ = 0;
    outFull_ = false;
    ++outGeneration_;
  }
  WaitForOutputIdle();
  if (!device_) return 0;
  const std::uint32_t error = device_->PurgeComm(platform::kPurgeTxAbort | platform::kPurgeTxClear);
  return error == platform::kErrorSuccess ? 0 : -static_cast<std::int32_t>(error);
}

}  // namespace serial
