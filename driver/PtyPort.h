// One board port: a pseudo-terminal pair whose master orvalisd holds and
// whose slave programs open through the COM link. What the slave's program
// writes is drained at the port's line rate (and echoed back with a loopback
// plug); the counters count those bytes. The port's records are built from
// what it last saw (open state, line settings, counters) and, once a status
// page slot is attached, written there whenever they change. Used from the
// daemon's one thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "driver/TermiosRate.h"
#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/StatusPage.h"

namespace orvalisd {

using Clock = std::chrono::steady_clock;

class PtyPort {
 public:
  // A new pair with the slave in raw mode at 9600 baud; nullptr (and errno)
  // when the system refuses one.
  static std::unique_ptr<PtyPort> Create(int comNumber, bool loopback);
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // The uninterpreted words of MgmtPortStatus that orvalisd fills: the port's
  // COM number, and 1 when a loopback plug is in.
  static constexpr std::uint32_t kStatusComNumber = 4;
  static constexpr std::uint32_t kStatusLoopback = 8;
  // PollEvents' answer for a port nobody holds: leave its master out of poll,
  // which would report its hang-up without end.
  static constexpr short kLeaveOut = -1;

  int ComNumber() const { return comNumber_; }
  bool Loopback() const { return loopback_; }
  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

  // Whether any process holds the slave open, asked of the kernel now.
  bool IsOpen() const;
  LineRate Rate() const { return ReadLineRate(master_); }

  // The MgmtPortStatus and MgmtPortCounters records of this port, as last seen.
  void FillStatus(std::uint8_t* record) const;
  void FillCounters(std::uint8_t* record) const;
  void ClearCounters();

  // The slot that shows this port's records from now on.
  void AttachSlot(mgmt::status_page::PortSlot* slot);

  // Whether the slave is held, as last seen. Recheck asks again, and reads
  // the line settings (after an open or close of the slave was noticed);
  // RereadSettings reads only the settings (which no event announces).
  bool BelievedOpen() const { return believedOpen_; }
  void Recheck();
  void RereadSettings();

  // Relay scheduling: what to poll the master for, and until when to sleep
  // when the line rate holds the next read back.
  short PollEvents(Clock::time_point now);
  Clock::time_point NextReadTime() const;
  // After poll: moves bytes as far as the rate and the echo queue allow.
  void Relay(short revents, Clock::time_point now);

 private:
  PtyPort(int master, std::string slavePath, int comNumber, bool loopback);
  void Refill(Clock::time_point now);
  double Burst() const;  // bytes the line may save up (20 ms worth, 16 at least)
  double Chunk() const;  // bytes worth waking up for (5 ms worth)
  void Drain();
  void FlushEcho();
  // Writes the records to the slot when they differ from what it shows.
  void Publish();

  int master_;
  std::string slavePath_;
  int comNumber_;
  bool loopback_;
  bool believedOpen_ = false;
  LineRate rate_;
  double tokens_ = 0;  // bytes the line may carry now
  double bytesPerSecond_ = 960;
  Clock::time_point lastRefill_;
  std::deque<std::uint8_t> echo_;
  std::uint32_t transmitted_ = 0;
  std::uint32_t received_ = 0;
  mgmt::status_page::PortSlot* slot_ = nullptr;
  std::array<std::uint8_t, MgmtPortStatusSize> shownStatus_{};
  std::array<std::uint8_t, MgmtPortCountersSize> shownCounters_{};
};

}  // namespace orvalisd
