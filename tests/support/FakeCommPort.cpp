#include "tests/support/FakeCommPort.h"

#include <algorithm>
#include <utility>

namespace support {

using namespace platform;

class FakeCommPort::Device final : public CommDevice {
 public:
  explicit Device(std::shared_ptr<FakeCommPort> port) : port_(std::move(port)) {}

  ~Device() override {
    std::lock_guard guard(port_->lock_);
    port_->open_ = false;
    port_->dtr_ = port_->rts_ = false;  // closing drops the outputs
    port_->changed_.notify_all();
  }

  std::uint32_t SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) override {
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    port_->inQueueSize_ = inQueue;
    port_->outQueueSize_ = outQueue;
    return kErrorSuccess;
  }

  std::uint32_t GetCommState(CommState& state) override {
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    state = port_->state_;
    return kErrorSuccess;
  }

  std::uint32_t SetCommState(const CommState& state) override {
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    ++port_->stateWrites_;
    const bool valid = state.baudRate != 0 && state.byteSize >= 5 && state.byteSize <= 8 &&
                       state.parity <= kSpaceParity && state.stopBits <= kTwoStopBits;
    if (!valid || (port_->refuseState_ && port_->refuseState_(state)))
      return kErrorInvalidParameter;
    port_->state_ = state;
    if (state.dtrControl != kDtrControlHandshake)
      port_->dtr_ = state.dtrControl == kDtrControlEnable;
    if (state.rtsControl == kRtsControlEnable || state.rtsControl == kRtsControlDisable)
      port_->rts_ = state.rtsControl == kRtsControlEnable;
    return kErrorSuccess;
  }

  std::uint32_t SetCommTimeouts(const CommTimeouts&) override {
    std::lock_guard guard(port_->lock_);
    return port_->vanished_ ? kErrorGenFailure : kErrorSuccess;
  }

  std::uint32_t SetCommMask(std::uint32_t mask) override {
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    port_->mask_ = mask;
    port_->pendingEvents_ &= mask;
    ++port_->maskGeneration_;
    port_->changed_.notify_all();
    return kErrorSuccess;
  }

  std::uint32_t WaitCommEvent(std::uint32_t& events) override {
    events = 0;
    std::unique_lock lock(port_->lock_);
    FakeCommPort& p = *port_;
    if (p.vanished_) return kErrorGenFailure;
    if (p.mask_ == 0) return kErrorInvalidParameter;
    const std::uint64_t generation = p.maskGeneration_;
    p.changed_.wait(lock, [&] {
      return p.vanished_ || p.maskGeneration_ != generation || (p.pendingEvents_ & p.mask_);
    });
    if (p.vanished_) return kErrorGenFailure;
    if (p.maskGeneration_ != generation) return kErrorSuccess;
    events = p.pendingEvents_ & p.mask_;
    p.pendingEvents_ = 0;
    return kErrorSuccess;
  }

  std::uint32_t ReadFile(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read) override {
    read = 0;
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    auto& input = port_->input_;
    const std::size_t count = std::min<std::size_t>(size, input.size());
    std::copy_n(input.begin(), count, buffer);
    input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(count));
    read = static_cast<std::uint32_t>(count);
    return kErrorSuccess;
  }

  std::uint32_t WriteFile(const std::uint8_t* data, std::uint32_t size,
                          std::uint32_t& written) override {
    written = 0;
    std::unique_lock lock(port_->lock_);
    FakeCommPort& p = *port_;
    if (p.vanished_) return kErrorGenFailure;
    p.writing_ = true;
    p.abortWrite_ = false;
    p.outQueue_ = size;
    std::uint32_t result = kErrorSuccess;
    const std::uint32_t limit = p.writeChunk_ ? std::min(size, p.writeChunk_) : size;
    while (written < limit) {
      p.changed_.wait(lock, [&] { return !p.writesStuck_ || p.abortWrite_ || p.vanished_; });
      if (p.writePace_.count() > 0)
        p.changed_.wait_for(lock, p.writePace_, [&] { return p.abortWrite_ || p.vanished_; });
      if (p.vanished_) {
        result = kErrorGenFailure;
        break;
      }
      if (p.abortWrite_) {
        result = kErrorOperationAborted;
        break;
      }
      if (p.writesStuck_) continue;
      // Paced writes go out a byte at a time; others all at once.
      const std::uint32_t chunk = p.writePace_.count() > 0 ? 1 : limit - written;
      p.written_.insert(p.written_.end(), data + written, data + written + chunk);
      p.writtenTotal_ += chunk;
      if (p.loopback_) {
        p.input_.insert(p.input_.end(), data + written, data + written + chunk);
        p.Raise(kEvRxChar);
      }
      written += chunk;
      p.outQueue_ = size - written;
      p.changed_.notify_all();
    }
    p.writing_ = false;
    p.abortWrite_ = false;
    p.outQueue_ = 0;
    return result;
  }

  std::uint32_t ClearCommError(CommStatus& status) override {
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    status.errors = port_->errors_;
    status.inQueue = static_cast<std::uint32_t>(port_->input_.size());
    status.outQueue = port_->outQueue_;
    port_->errors_ = 0;
    return kErrorSuccess;
  }

  std::uint32_t GetCommModemStatus(std::uint32_t& status) override {
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    status = port_->modemLines_;
    return kErrorSuccess;
  }

  std::uint32_t EscapeCommFunction(std::uint32_t function) override {
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    ++port_->escapeCalls_;
    switch (function) {
      case kSetDtr:
        port_->dtr_ = true;
        break;
      case kClrDtr:
        port_->dtr_ = false;
        break;
      case kSetRts:
        port_->rts_ = true;
        break;
      case kClrRts:
        port_->rts_ = false;
        break;
      case kSetBreak:
      case kClrBreak:
      case kSetXon:
      case kSetXoff:
        break;
      default:
        return kErrorInvalidParameter;
    }
    return kErrorSuccess;
  }

  std::uint32_t PurgeComm(std::uint32_t flags) override {
    std::lock_guard guard(port_->lock_);
    if (port_->vanished_) return kErrorGenFailure;
    if ((flags & kPurgeTxAbort) && port_->writing_) port_->abortWrite_ = true;
    if (flags & kPurgeRxClear) port_->input_.clear();
    port_->changed_.notify_all();
    return kErrorSuccess;
  }

 private:
  std::shared_ptr<FakeCommPort> port_;
};

FakeCommPort::FakeCommPort() {
  state_.baudRate = 9600;
}

std::shared_ptr<FakeCommPort> FakeCommPort::Register(int comNumber) {
  auto port = std::make_shared<FakeCommPort>();
  RegisterComDevice(comNumber, port);
  return port;
}

void FakeCommPort::Unregister(int comNumber) {
  RegisterComDevice(comNumber, nullptr);
}

std::unique_ptr<CommDevice> FakeCommPort::Open(std::uint32_t& error) {
  std::lock_guard guard(lock_);
  if (open_) {
    error = kErrorAccessDenied;
    return nullptr;
  }
  if (vanished_) {
    error = kErrorFileNotFound;
    return nullptr;
  }
  open_ = true;
  ++openCount_;
  mask_ = 0;
  pendingEvents_ = 0;
  error = kErrorSuccess;
  return std::make_unique<Device>(shared_from_this());
}

void FakeCommPort::Raise(std::uint32_t events) {
  pendingEvents_ |= events & mask_;
  changed_.notify_all();
}

void FakeCommPort::Receive(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard guard(lock_);
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  Raise(kEvRxChar);
}

void FakeCommPort::Receive(const std::string& text) {
  Receive(std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> FakeCommPort::TakeWritten() {
  std::lock_guard guard(lock_);
  return std::exchange(written_, {});
}

std::size_t FakeCommPort::WrittenCount() const {
  std::lock_guard guard(lock_);
  return writtenTotal_;
}

bool FakeCommPort::WaitForWritten(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(lock_);
  return changed_.wait_for(lock, timeout, [&] { return writtenTotal_ >= count; });
}

void FakeCommPort::SetLoopback(bool on) {
  std::lock_guard guard(lock_);
  loopback_ = on;
}

void FakeCommPort::SetModemLines(std::uint32_t status) {
  std::lock_guard guard(lock_);
  const std::uint32_t changed = status ^ modemLines_;
  modemLines_ = status;
  std::uint32_t events = 0;
  if (changed & kMsCtsOn) events |= kEvCts;
  if (changed & kMsDsrOn) events |= kEvDsr;
  if (changed & kMsRlsdOn) events |= kEvRlsd;
  if ((changed & kMsRingOn) && (status & kMsRingOn)) events |= kEvRing;
  Raise(events);
}

void FakeCommPort::RaiseLineErrors(std::uint32_t errors) {
  std::lock_guard guard(lock_);
  errors_ |= errors;
  std::uint32_t events = 0;
  if (errors & kCeBreak) events |= kEvBreak;
  if (errors & ~kCeBreak) events |= kEvErr;
  Raise(events);
}

void FakeCommPort::SetRefuseState(std::function<bool(const CommState&)> refuse) {
  std::lock_guard guard(lock_);
  refuseState_ = std::move(refuse);
}

void FakeCommPort::SetWritePace(std::chrono::microseconds perByte) {
  std::lock_guard guard(lock_);
  writePace_ = perByte;
}

void FakeCommPort::SetWriteChunk(std::uint32_t bytes) {
  std::lock_guard guard(lock_);
  writeChunk_ = bytes;
}

void FakeCommPort::SetWritesStuck(bool stuck) {
  std::lock_guard guard(lock_);
  writesStuck_ = stuck;
  changed_.notify_all();
}

void FakeCommPort::Vanish() {
  std::lock_guard guard(lock_);
  vanished_ = true;
  changed_.notify_all();
}

bool FakeCommPort::IsOpen() const {
  std::lock_guard guard(lock_);
  return open_;
}

int FakeCommPort::OpenCount() const {
  std::lock_guard guard(lock_);
  return openCount_;
}

int FakeCommPort::StateWrites() const {
  std::lock_guard guard(lock_);
  return stateWrites_;
}

int FakeCommPort::EscapeCalls() const {
  std::lock_guard guard(lock_);
  return escapeCalls_;
}

CommState FakeCommPort::State() const {
  std::lock_guard guard(lock_);
  return state_;
}

bool FakeCommPort::DtrOn() const {
  std::lock_guard guard(lock_);
  return dtr_;
}

bool FakeCommPort::RtsOn() const {
  std::lock_guard guard(lock_);
  return rts_;
}

std::uint32_t FakeCommPort::EventMask() const {
  std::lock_guard guard(lock_);
  return mask_;
}

std::uint32_t FakeCommPort::InQueueSize() const {
  std::lock_guard guard(lock_);
  return inQueueSize_;
}

std::uint32_t FakeCommPort::OutQueueSize() const {
  std::lock_guard guard(lock_);
  return outQueueSize_;
}

std::size_t FakeCommPort::InputPending() const {
  std::lock_guard guard(lock_);
  return input_.size();
}

}  // namespace support
