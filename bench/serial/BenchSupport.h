// Helpers of the serial benchmark: a pseudo-terminal linked as a COM port,
// reader and writer loops on its master, child processes with their CPU use.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// The paced measurements run at 921600 baud's byte rate (8N1: ten bits a byte).
constexpr double kPacedBaud = 921600;
constexpr double kPacedBytesPerSecond = kPacedBaud / 10;

// A pseudo-terminal whose slave is linked as <root>/dosdevices/com<n> of a
// fresh host root (exported as QUOR_HOST_ROOT for the children).
class BenchPty {
 public:
  explicit BenchPty(int comNumber);
  ~BenchPty();
  BenchPty(const BenchPty&) = delete;
  BenchPty& operator=(const BenchPty&) = delete;

  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  int ComNumber() const { return comNumber_; }
  // Puts the slave into raw mode, as the engine does for itself, so that the
  // reference programs see the same line.
  void MakeSlaveRaw() const;
  // Discards whatever either side still holds.
  void Drain() const;

 private:
  int comNumber_;
  int master_ = -1;
  std::string slavePath_;
  std::string root_;
};

struct ChildResult {
  double cpuSeconds = 0;  // user + system
  long wakeUps = 0;       // voluntary context switches: each sleep ended by a wake-up
  int status = 0;
};

class Child {
 public:
  // Starts argv with stdin/stdout redirected (-1 keeps them), stdout of the
  // child readable through ReadyPipe() when capture is set.
  Child(const std::vector<std::string>& argv, int stdinFd, int stdoutFd, bool capture = false);
  // The next line the child prints (captured children only); empty at its end.
  std::string ReadLine();
  ChildResult Wait();
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int readyPipe_ = -1;
};

// Writes count bytes of a known stream to fd as fast as it takes them.
void WriteStream(int fd, std::size_t count);
// Hands count bytes to send in 64-byte blocks on an absolute schedule; send
// returns false to stop.
void SendPaced(std::size_t count, double bytesPerSecond,
               const std::function<bool(const std::uint8_t* block, std::size_t size)>& send);
// Writes count bytes in 64-byte blocks on an absolute schedule.
void WritePaced(int fd, std::size_t count, double bytesPerSecond);
// Reads and discards until count bytes came; false if the line ended first.
bool ReadCount(int fd, std::size_t count);

std::uint8_t StreamByte(std::size_t i);

double Seconds(Clock::duration d);

struct Summary {
  double median = 0;
  double low = 0;   // smallest
  double high = 0;  // largest
};
Summary Summarise(std::vector<double> values);

}  // namespace bench
