#include "driver/PtyPort.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"

namespace orvalisd {
namespace {

// Bounds the echo that waits for the slave's program to read it; past it the
// port stops draining, so the writer feels the line's pace.
constexpr std::size_t kEchoLimit = 4096;
constexpr std::size_t kReadChunk = 4096;
constexpr std::uint32_t kOpenStateOpen = 2;

double BytesPerSecond(const LineRate& rate) {
  // B0 hangs the line up; pace it as the default rate rather than not at all.
  const double baud = rate.baud ? rate.baud : 9600;
  return baud / rate.bitsPerChar;
}

}  // namespace

std::unique_ptr<PtyPort> PtyPort::Create(int comNumber, bool loopback) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0) return nullptr;
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name)) {
    const int error = errno;
    close(master);
    errno = error;
    return nullptr;
  }
  // Raw, so the line discipline neither echoes nor edits what passes; opening
  // and closing it once also puts the master in the hung-up state that tells
  // "nobody holds the slave".
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    const int error = errno;
    close(master);
    errno = error;
    return nullptr;
  }
  termios settings{};
  tcgetattr(slave, &settings);
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  cfsetspeed(&settings, B9600);
  tcsetattr(slave, TCSANOW, &settings);
  close(slave);
  return std::unique_ptr<PtyPort>(new PtyPort(master, name, comNumber, loopback));
}

PtyPort::PtyPort(int master, std::string slavePath, int comNumber, bool loopback)
    : master_(master),
      slavePath_(std::move(slavePath)),
      comNumber_(comNumber),
      loopback_(loopback),
      lastRefill_(Clock::now()) {
  rate_ = Rate();
  bytesPerSecond_ = BytesPerSecond(rate_);
  tokens_ = Burst();
}

PtyPort::~PtyPort() {
  close(master_);
}

bool PtyPort::IsOpen() const {
  pollfd entry{master_, 0, 0};
  if (poll(&entry, 1, 0) < 0) return false;
  return (entry.revents & POLLHUP) == 0;
}

double PtyPort::Burst() const {
  return std::max(16.0, bytesPerSecond_ / 50);
}

double PtyPort::Chunk() const {
  return std::clamp(bytesPerSecond_ / 200, 1.0, Burst());
}

void PtyPort::Recheck() {
  believedOpen_ = IsOpen();
  if (!believedOpen_) Drain();
  RereadSettings();
}

void PtyPort::RereadSettings() {
  rate_ = Rate();
  Publish();
}

void PtyPort::AttachSlot(mgmt::status_page::PortSlot* slot) {
  slot_ = slot;
  shownStatus_.fill(0xFF);  // nothing shown yet: the first Publish writes
  Publish();
}

void PtyPort::Publish() {
  if (!slot_) return;
  std::array<std::uint8_t, MgmtPortStatusSize> status;
  std::array<std::uint8_t, MgmtPortCountersSize> counters;
  FillStatus(status.data());
  FillCounters(counters.data());
  if (status == shownStatus_ && counters == shownCounters_) return;
  mgmt::status_page::WriteSlot(*slot_, status.data(), counters.data());
  shownStatus_ = status;
  shownCounters_ = counters;
}

void PtyPort::Refill(Clock::time_point now) {
  const double burst = Burst();
  if (tokens_ < burst) {
    // The program may have changed the rate since the last transfer.
    rate_ = Rate();
    bytesPerSecond_ = BytesPerSecond(rate_);
    const double seconds = std::chrono::duration<double>(now - lastRefill_).count();
    tokens_ = std::min(Burst(), tokens_ + seconds * bytesPerSecond_);
  }
  lastRefill_ = now;
}

short PtyPort::PollEvents(Clock::time_point now) {
  if (!believedOpen_) return kLeaveOut;
  Refill(now);
  short events = 0;
  if (tokens_ >= Chunk() && echo_.size() < kEchoLimit) events |= POLLIN;
  if (!echo_.empty()) events |= POLLOUT;
  return events;
}

Clock::time_point PtyPort::NextReadTime() const {
  if (!believedOpen_ || tokens_ >= Chunk()) return Clock::time_point::max();
  const double wait = (Chunk() - tokens_) / bytesPerSecond_;
  return lastRefill_ +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
}

void PtyPort::Relay(short revents, Clock::time_point now) {
  if (revents & POLLHUP) {
    believedOpen_ = false;
    Drain();
    Publish();
    return;
  }
  if (revents & POLLIN) {
    Refill(now);
    std::uint8_t buffer[kReadChunk];
    std::size_t room = std::min<std::size_t>(kReadChunk, static_cast<std::size_t>(tokens_));
    if (loopback_) room = std::min(room, kEchoLimit - std::min(kEchoLimit, echo_.size()));
    const ssize_t got = room ? read(master_, buffer, room) : 0;
    if (got > 0) {
      tokens_ -= static_cast<double>(got);
      transmitted_ += static_cast<std::uint32_t>(got);
      if (loopback_) echo_.insert(echo_.end(), buffer, buffer + got);
    } else if (got < 0 && errno == EIO) {
      believedOpen_ = false;
      Drain();
      Publish();
      return;
    }
  }
  FlushEcho();
  Publish();
}

void PtyPort::FlushEcho() {
  while (!echo_.empty()) {
    std::uint8_t buffer[kReadChunk];
    const std::size_t count = std::min(echo_.size(), sizeof buffer);
    std::copy_n(echo_.begin(), count, buffer);
    const ssize_t written = write(master_, buffer, count);
    if (written <= 0) return;
    echo_.erase(echo_.begin(), echo_.begin() + written);
    received_ += static_cast<std::uint32_t>(written);
  }
}

void PtyPort::Drain() {
  // What a program wrote just before it closed the port never reaches the
  // line; neither does an echo no one is there to read.
  std::uint8_t buffer[kReadChunk];
  while (read(master_, buffer, sizeof buffer) > 0) {
  }
  echo_.clear();
}

void PtyPort::FillStatus(std::uint8_t* record) const {
  std::memset(record, 0, MgmtPortStatusSize);
  mgmt::PutU32(record, MgmtPortStatusOpenState,
               believedOpen_ ? kOpenStateOpen : std::uint32_t{MgmtPortStatusClosed});
  mgmt::PutU32(record, kStatusComNumber, static_cast<std::uint32_t>(comNumber_));
  mgmt::PutU32(record, kStatusLoopback, loopback_ ? 1 : 0);
  // A pseudo-terminal has no modem lines: the line bytes stay "not available",
  // and its data bits and parity are forced, so they stay "not reported".
  mgmt::PutU32(record, MgmtPortStatusBaud, rate_.baud);
  mgmt::PutU32(record, MgmtPortStatusBaudCopy, rate_.baud);
  if (rate_.baud) mgmt::PutU32(record, MgmtPortStatusStopBits, rate_.twoStopBits ? 2 : 1);
}

void PtyPort::FillCounters(std::uint8_t* record) const {
  std::memset(record, 0, MgmtPortCountersSize);
  mgmt::PutU32(record, MgmtPortCountersBytesTransmitted, transmitted_);
  mgmt::PutU32(record, MgmtPortCountersBytesReceived, received_);
}

void PtyPort::ClearCounters() {
  transmitted_ = 0;
  received_ = 0;
  Publish();
}

}  // namespace orvalisd
