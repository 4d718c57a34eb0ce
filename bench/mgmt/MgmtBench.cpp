// Figures of the shim against a running orvalisd ($QUOR_HOST_ROOT, its pid in
// $ORVALISD_PID): start-up (library load with discovery, the tree's requests,
// the probe of COM1-256), the MgmtGetPortStatus round trip beside a bare
// unix-socket round trip between two processes, the GUI's whole status
// sweep, how soon another process's open or close shows, and how long a
// request takes while orvalisd is stopped.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchProcesses.h"
#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/DriverFrame.h"
#include "mgmt/host/linux/HostRoot.h"
#include "platform/Modules.h"
#include "serial/PortProbe.h"
#include "tests/support/UnixSocket.h"

namespace {

using bench::Clock;
using namespace mgmt;

double Micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

double Percentile(std::vector<double> samples, double share) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<std::size_t>(share * static_cast<double>(samples.size() - 1))];
}

constexpr int kLoads = 15;
constexpr int kBlocks = 20;
constexpr int kCallsPerBlock = 1000;
constexpr int kSweeps = 40;
constexpr int kFreshnessTrials = 20;
constexpr auto kStallWindow = std::chrono::milliseconds(2500);
constexpr int kMaxStalledRequests = 2000;
constexpr auto kStalledSweepLimit = std::chrono::seconds(5);

class Shim {
 public:
  Shim() {
    module_ = platform::LoadLibrary("QuorMgmt.DLL");
    if (module_)
      command_ =
          reinterpret_cast<MgmtCommandFunction>(platform::GetProcAddress(module_, "MgmtCommand"));
  }
  ~Shim() {
    if (module_) platform::FreeLibrary(module_);
  }
  bool Loaded() const { return command_ != nullptr; }
  bool Call(std::int32_t board, std::uint32_t command, std::uint32_t port, void* out,
            std::uint32_t size) const {
    return command_(board, command, &port, 4, out, size) == MgmtSuccess;
  }
  std::uint32_t Word(std::int32_t board, std::uint32_t command, std::uint32_t size) const {
    std::array<std::uint8_t, MgmtPortNamesBufferSize> out{};
    return command_(board, command, nullptr, 0, out.data(), size) == MgmtSuccess
               ? GetU32(out.data(), 0)
               : 0;
  }
  // The requests the device tree makes per board at start-up.
  void BuildTreeRequests() const {
    const std::uint32_t boards = Word(0, MgmtGetBoardCount, 4);
    for (std::uint32_t b = 1; b <= boards; ++b) {
      const auto board = static_cast<std::int32_t>(b);
      Word(board, MgmtGetBoardSummary, MgmtBoardSummarySize);
      Word(board, MgmtGetBoardName, 251);
      Word(board, MgmtGetDriverInfo, MgmtDriverInfoSize);
      Word(board, MgmtGetPortNames, MgmtPortNamesBufferSize);
    }
  }
  std::string PortName(std::int32_t board, std::uint32_t port) const {
    std::array<std::uint8_t, MgmtPortNamesBufferSize> out{};
    if (command_(board, MgmtGetPortNames, nullptr, 0, out.data(), out.size()) != MgmtSuccess)
      return {};
    return reinterpret_cast<const char*>(out.data() + MgmtPortNamesFirstEntry +
                                         port * MgmtPortNamesEntrySize);
  }
  bool IsOpen(std::int32_t board, std::uint32_t port) const {
    std::uint8_t status[MgmtPortStatusSize];
    return Call(board, MgmtGetPortStatus, port, status, sizeof status) &&
           GetU32(status, MgmtPortStatusOpenState) != MgmtPortStatusClosed;
  }

 private:
  platform::HMODULE module_ = nullptr;
  MgmtCommandFunction command_ = nullptr;
};

bool StartUp() {
  std::vector<double> loads, trees, probes, totals;
  int found = 0;
  for (int i = 0; i < kLoads; ++i) {
    const auto start = Clock::now();
    Shim shim;
    const auto loaded = Clock::now();
    if (!shim.Loaded()) {
      std::fprintf(stderr, "mgmt_bench: the library did not load\n");
      return false;
    }
    shim.BuildTreeRequests();
    const auto treeBuilt = Clock::now();
    found = 0;
    for (int com = 1; com <= 256; ++com)
      found += serial::IsPortAvailable(static_cast<std::uint16_t>(com)) ? 1 : 0;
    const auto probed = Clock::now();
    loads.push_back(Micros(loaded - start) / 1000);
    trees.push_back(Micros(treeBuilt - loaded) / 1000);
    probes.push_back(Micros(probed - treeBuilt) / 1000);
    totals.push_back(Micros(probed - start) / 1000);
  }
  std::printf("start-up (%d runs), median / max in ms:\n", kLoads);
  std::printf("  library load with discovery      %7.2f / %7.2f\n", Percentile(loads, 0.5),
              Percentile(loads, 1));
  std::printf("  tree requests (4 per board)      %7.2f / %7.2f\n", Percentile(trees, 0.5),
              Percentile(trees, 1));
  std::printf("  IsPortAvailable COM1-256 (%3d)   %7.2f / %7.2f\n", found, Percentile(probes, 0.5),
              Percentile(probes, 1));
  std::printf("  all of it                        %7.2f / %7.2f\n", Percentile(totals, 0.5),
              Percentile(totals, 1));
  return true;
}

bool RoundTrips(const Shim& shim) {
  bench::BareEcho bare;
  std::vector<double> calls, bares, ratios;
  std::uint8_t status[MgmtPortStatusSize];
  for (int block = 0; block < kBlocks; ++block) {
    std::vector<double> blockCalls, blockBares;
    for (int i = 0; i < kCallsPerBlock; ++i) {
      const auto port = static_cast<std::uint32_t>(i % 64);
      const auto start = Clock::now();
      if (!shim.Call(1, MgmtGetPortStatus, port, status, sizeof status)) {
        std::fprintf(stderr, "mgmt_bench: MgmtGetPortStatus failed\n");
        return false;
      }
      blockCalls.push_back(Micros(Clock::now() - start));
    }
    for (int i = 0; i < kCallsPerBlock; ++i) {
      const auto start = Clock::now();
      if (!bare.RoundTrip()) {
        std::fprintf(stderr, "mgmt_bench: the bare echo process failed\n");
        return false;
      }
      blockBares.push_back(Micros(Clock::now() - start));
    }
    if (block == 0) continue;  // warm-up
    ratios.push_back(Percentile(blockCalls, 0.5) / Percentile(blockBares, 0.5));
    calls.insert(calls.end(), blockCalls.begin(), blockCalls.end());
    bares.insert(bares.end(), blockBares.begin(), blockBares.end());
  }
  std::printf("MgmtGetPortStatus through the shim (%zu calls): median %.2f us, p99 %.2f us\n",
              calls.size(), Percentile(calls, 0.5), Percentile(calls, 0.99));
  std::printf("bare unix-socket round trip, two processes: median %.2f us, p99 %.2f us\n",
              Percentile(bares, 0.5), Percentile(bares, 0.99));
  std::printf("ratio shim / bare (median of %zu interleaved blocks): %.3f (%.3f-%.3f)\n",
              ratios.size(), Percentile(ratios, 0.5), Percentile(ratios, 0), Percentile(ratios, 1));

  // The same request as a bare frame on orvalisd's socket: what the driver
  // itself costs per request.
  const int fd = test::ConnectUnix(HostRoot() + "/" + kSocketFolderName + "/board1.sock");
  std::vector<double> frames;
  for (int i = 0; fd >= 0 && i < kCallsPerBlock * 5; ++i) {
    std::uint8_t request[frame::kRequestHeaderSize + 4];
    frame::EncodeRequestHeader({IOCTL_BOARD_GET_PORT_STATUS, 4, MgmtPortStatusSize}, request);
    PutU32(request, frame::kRequestHeaderSize, static_cast<std::uint32_t>(i % 64));
    std::uint8_t reply[frame::kReplyHeaderSize + MgmtPortStatusSize];
    const auto start = Clock::now();
    if (send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request ||
        recv(fd, reply, sizeof reply, MSG_WAITALL) != sizeof reply)
      break;
    frames.push_back(Micros(Clock::now() - start));
  }
  if (fd >= 0) close(fd);
  std::printf("request frame on orvalisd's socket: median %.2f us, p99 %.2f us\n",
              Percentile(frames, 0.5), Percentile(frames, 0.99));
  return true;
}

struct SweepResult {
  double ms = 0;
  int requests = 0;
  int failures = 0;
};

// The GUI's tick: status, then counters when the status came, for every port
// of every board; cut short at the limit.
SweepResult Sweep(const Shim& shim, std::uint32_t boards,
                  Clock::duration limit = std::chrono::hours(1)) {
  std::uint8_t status[MgmtPortStatusSize], counters[MgmtPortCountersSize];
  SweepResult result;
  const auto start = Clock::now();
  for (std::uint32_t b = 1; b <= boards; ++b)
    for (std::uint32_t port = 0; port < 64 && Clock::now() - start < limit; ++port) {
      const auto board = static_cast<std::int32_t>(b);
      ++result.requests;
      if (!shim.Call(board, MgmtGetPortStatus, port, status, sizeof status)) {
        ++result.failures;
        continue;
      }
      ++result.requests;
      if (!shim.Call(board, MgmtGetPortCounters, port, counters, sizeof counters))
        ++result.failures;
    }
  result.ms = Micros(Clock::now() - start) / 1000;
  return result;
}

void Sweeps(const Shim& shim) {
  const std::uint32_t boards = shim.Word(0, MgmtGetBoardCount, 4);
  std::vector<double> sweeps;
  for (int i = 0; i < kSweeps; ++i) sweeps.push_back(Sweep(shim, boards).ms);
  std::printf(
      "status sweep, %u boards x 64 ports x 2 requests (%d sweeps): median %.2f ms, "
      "max %.2f ms\n",
      boards, kSweeps, Percentile(sweeps, 0.5), Percentile(sweeps, 1));
}

// From the moment another process called open (close) to the first
// status that shows it.
void Freshness(const Shim& shim) {
  const std::string name = shim.PortName(1, 0);
  bench::PortHolderProcess holder(HostRoot() + "/dosdevices/" +
                                  (name.size() > 3 ? "com" + name.substr(3) : name));
  std::vector<double> opens, closes;
  for (int i = 0; i < kFreshnessTrials; ++i) {
    for (const bool open : {true, false}) {
      open ? holder.Open() : holder.Close();
      const auto limit = Clock::now() + std::chrono::seconds(2);
      while (shim.IsOpen(1, 0) != open && Clock::now() < limit) {
      }
      const auto seen = Clock::now();
      const auto moment = holder.TakeMoment();
      if (moment == Clock::time_point::min()) {
        std::fprintf(stderr, "mgmt_bench: the holder could not open %s\n", name.c_str());
        return;
      }
      (open ? opens : closes).push_back(Micros(seen - moment));
    }
  }
  std::printf(
      "another process's open shows after: median %.0f us, max %.0f us; close: median "
      "%.0f us, max %.0f us\n",
      Percentile(opens, 0.5), Percentile(opens, 1), Percentile(closes, 0.5), Percentile(closes, 1));
}

// Requests while orvalisd is stopped, then how soon they succeed after it goes on.
void Stall(const Shim& shim, pid_t daemon) {
  const std::uint32_t boards = shim.Word(0, MgmtGetBoardCount, 4);
  std::uint8_t status[MgmtPortStatusSize];
  std::uint8_t names[MgmtPortNamesBufferSize];
  kill(daemon, SIGSTOP);
  const auto stopped = Clock::now();
  std::vector<double> durations;
  int succeeded = 0;
  for (int i = 0; i < kMaxStalledRequests && Clock::now() - stopped < kStallWindow; ++i) {
    const auto board = static_cast<std::int32_t>(1 + i % boards);
    const auto start = Clock::now();
    // Every tenth request one the driver must answer itself.
    const bool ok = i % 10 == 9
                        ? shim.Call(board, MgmtGetPortNames, 0, names, sizeof names)
                        : shim.Call(board, MgmtGetPortStatus, static_cast<std::uint32_t>(i % 64),
                                    status, sizeof status);
    durations.push_back(Micros(Clock::now() - start) / 1000);
    succeeded += ok ? 1 : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const SweepResult sweep = Sweep(shim, boards, kStalledSweepLimit);
  kill(daemon, SIGCONT);
  const auto resumed = Clock::now();
  while (!shim.Call(1, MgmtGetPortNames, 0, names, sizeof names) &&
         Clock::now() - resumed < std::chrono::seconds(5))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double back = Micros(Clock::now() - resumed) / 1000;
  std::printf(
      "orvalisd stopped for %.1f s: %zu requests, %d answered (last state), longest "
      "single request %.2f ms, median %.3f ms\n",
      std::chrono::duration<double>(Clock::now() - stopped).count(), durations.size(), succeeded,
      Percentile(durations, 1), Percentile(durations, 0.5));
  std::printf(
      "  a sweep while stopped: %.2f ms, %d requests made, %d failed%s; answering "
      "again %.0f ms after SIGCONT\n",
      sweep.ms, sweep.requests, sweep.failures,
      sweep.ms >= Micros(kStalledSweepLimit) / 1000 ? " (cut at the limit)" : "", back);
}

}  // namespace

int main() {
  if (!StartUp()) return 1;
  Shim shim;
  if (!shim.Loaded()) return 1;
  if (!RoundTrips(shim)) return 1;
  Sweeps(shim);
  Freshness(shim);
  if (const char* pid = std::getenv("ORVALISD_PID"); pid && *pid)
    Stall(shim, static_cast<pid_t>(std::atoi(pid)));
  return 0;
}
