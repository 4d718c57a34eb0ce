// The engine side of each measurement, run as a child process so that its
// CPU use is measured the same way as the reference program's:
//   serial_bench engine receive|idle|echo|transmit|paced-transmit <com number> <count>
// Each prints a line when the port is open and ready.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/serial/BenchSupport.h"
#include "serial/ComPort.h"
#include "serial/ErrorCodes.h"

namespace bench {
namespace {

void Ready() {
  std::puts("ready");
  std::fflush(stdout);
}

class Done {
 public:
  void Set() {
    std::lock_guard guard(lock_);
    done_ = true;
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [this] { return done_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool done_ = false;
};

// Larger than the 4 KiB blocks queued, so that queueing overlaps writing.
constexpr std::uint16_t kTransmitRing = 65535;

void OpenPort(serial::TApdComPort& port, int comNumber) {
  port.SetComNumber(static_cast<std::uint16_t>(comNumber));
  port.SetPromptForPort(false);
  port.SetBaud(921600);
  port.SetOpen(true);
}

// A data handler that takes everything, as the terminal view's does.
int Receive(int comNumber, std::size_t count) {
  serial::TApdComPort port;
  OpenPort(port, comNumber);
  serial::TApdBaseDispatcher& dispatcher = *port.Dispatcher();
  std::vector<std::uint8_t> block(serial::TApdBaseDispatcher::kDispatchBufferSize);
  std::size_t received = 0;
  Done done;
  dispatcher.AddEventHandler(
      &received, [&](platform::UINT msg, platform::WPARAM available, platform::LPARAM) {
        if (msg != serial::kMsgTriggerAvail) return;
        if (dispatcher.TakeInput(block.data(), static_cast<std::uint32_t>(available)) != 0) return;
        received += available;
        if (received >= count) done.Set();
      });
  Ready();
  done.Wait();
  dispatcher.RemoveEventHandler(&received);
  return 0;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

// Prints the CPU the open port used while nothing happened on it.
int Idle(int comNumber, std::size_t seconds) {
  serial::TApdComPort port;
  OpenPort(port, comNumber);
  Ready();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // settle after the open
  const double before = CpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  std::printf("%.6f\n", CpuSeconds() - before);
  std::fflush(stdout);
  return 0;
}

// Every byte received goes straight back out through the output ring.
int Echo(int comNumber) {
  serial::TApdComPort port;
  OpenPort(port, comNumber);
  serial::TApdBaseDispatcher& dispatcher = *port.Dispatcher();
  std::vector<std::uint8_t> block(serial::TApdBaseDispatcher::kDispatchBufferSize);
  dispatcher.AddEventHandler(&block,
                             [&](platform::UINT msg, platform::WPARAM available, platform::LPARAM) {
                               if (msg != serial::kMsgTriggerAvail) return;
                               const auto count = static_cast<std::uint32_t>(available);
                               if (dispatcher.TakeInput(block.data(), count) == 0)
                                 dispatcher.QueueOutput(block.data(), count);
                             });
  Ready();
  // Runs until the parent closes our standard input, so the port closes
  // cleanly (a killed holder would leave a pseudo-terminal marked exclusive).
  char ignored[64];
  while (read(0, ignored, sizeof ignored) > 0) {
  }
  return 0;
}

int Transmit(int comNumber, std::size_t count) {
  serial::TApdComPort port;
  port.SetOutSize(kTransmitRing);
  OpenPort(port, comNumber);
  serial::TApdBaseDispatcher& dispatcher = *port.Dispatcher();
  std::vector<std::uint8_t> block(4096, 't');
  Ready();
  // A full ring: the producer naps about as long as the line takes to drain
  // half of it, learnt from its previous nap, instead of waking far more
  // often than there is room to fill (each wake-up takes a core from the
  // line's own path).
  constexpr double kTargetDrain = kTransmitRing / 2.0;
  double napMicroseconds = 50;
  for (std::size_t queued = 0; queued < count;) {
    const auto size = static_cast<std::uint32_t>(std::min(block.size(), count - queued));
    if (dispatcher.QueueOutput(block.data(), size) == 0) {
      queued += size;
      continue;
    }
    const double freeBefore = dispatcher.OutputFree();
    std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(napMicroseconds));
    const double drained = std::max(dispatcher.OutputFree() - freeBefore, 1.0);
    napMicroseconds = std::clamp(napMicroseconds * kTargetDrain / drained, 20.0, 2000.0);
  }
  while (dispatcher.OutputUsed() > 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
  return 0;
}

// 64-byte blocks at the paced byte rate, as a terminal sending at line speed.
int PacedTransmit(int comNumber, std::size_t count) {
  serial::TApdComPort port;
  OpenPort(port, comNumber);
  serial::TApdBaseDispatcher& dispatcher = *port.Dispatcher();
  Ready();
  SendPaced(count, kPacedBytesPerSecond, [&](const std::uint8_t* block, std::size_t size) {
    const auto length = static_cast<std::uint32_t>(size);
    while (dispatcher.QueueOutput(block, length) == serial::ecOutputBufferTooSmall)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
  });
  while (dispatcher.OutputUsed() > 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
  return 0;
}

}  // namespace

int RunEngineMode(const std::string& mode, int comNumber, std::size_t count) {
  if (mode == "receive") return Receive(comNumber, count);
  if (mode == "idle") return Idle(comNumber, count);
  if (mode == "echo") return Echo(comNumber);
  if (mode == "transmit") return Transmit(comNumber, count);
  if (mode == "paced-transmit") return PacedTransmit(comNumber, count);
  std::fprintf(stderr, "unknown engine mode %s\n", mode.c_str());
  return 2;
}

}  // namespace bench
