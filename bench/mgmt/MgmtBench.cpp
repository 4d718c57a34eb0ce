// Figures of the shim against a running orvalisd ($QUOR_HOST_ROOT): the time
// to load the library (discovery included) and one MgmtGetPortStatus round
// trip, beside a bare request frame on the same driver socket.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/DeviceSocket.h"
#include "mgmt/host/linux/HostRoot.h"
#include "platform/Modules.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

double Percentile(std::vector<double> samples, double share) {
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<std::size_t>(share * static_cast<double>(samples.size() - 1))];
}

constexpr int kLoads = 25;
constexpr int kCalls = 20000;

}  // namespace

int main() {
  std::vector<double> loads;
  std::uint32_t boards = 0;
  for (int i = 0; i < kLoads; ++i) {
    const auto start = Clock::now();
    platform::HMODULE module = platform::LoadLibrary("QuorMgmt.DLL");
    const auto loaded = Clock::now();
    if (!module) {
      std::fprintf(stderr, "mgmt_bench: the library did not load\n");
      return 1;
    }
    auto command =
        reinterpret_cast<MgmtCommandFunction>(platform::GetProcAddress(module, "MgmtCommand"));
    command(0, mgmt::MgmtGetBoardCount, nullptr, 0, &boards, 4);
    platform::FreeLibrary(module);
    loads.push_back(Micros(loaded - start));
  }

  platform::HMODULE module = platform::LoadLibrary("QuorMgmt.DLL");
  auto command =
      reinterpret_cast<MgmtCommandFunction>(platform::GetProcAddress(module, "MgmtCommand"));
  std::vector<double> calls;
  std::uint8_t status[56];
  for (int i = 0; i < kCalls; ++i) {
    const std::uint32_t port = static_cast<std::uint32_t>(i % 64);
    const auto start = Clock::now();
    if (command(1, mgmt::MgmtGetPortStatus, &port, 4, status, 56) != mgmt::MgmtSuccess) {
      std::fprintf(stderr, "mgmt_bench: MgmtGetPortStatus failed\n");
      return 1;
    }
    calls.push_back(Micros(Clock::now() - start));
  }

  mgmt::DeviceSocket bare(mgmt::ShimHostRoot() + "/" + mgmt::kSocketFolderName + "/board1.sock");
  if (!bare.Connect()) {
    std::fprintf(stderr, "mgmt_bench: no driver socket\n");
    return 1;
  }
  std::vector<double> frames;
  for (int i = 0; i < kCalls; ++i) {
    const std::uint32_t port = static_cast<std::uint32_t>(i % 64);
    std::uint32_t returned = 0;
    const auto start = Clock::now();
    bare.Request(mgmt::IOCTL_BOARD_GET_PORT_STATUS, &port, 4, status, 56, returned,
                 std::chrono::seconds(1));
    frames.push_back(Micros(Clock::now() - start));
  }

  std::printf("boards found per load: %u\n", boards);
  std::printf("library load with discovery (%d loads): median %.0f us, max %.0f us\n", kLoads,
              Percentile(loads, 0.5), Percentile(loads, 1.0));
  std::printf("MgmtGetPortStatus round trip (%d calls): median %.1f us, p99 %.1f us\n", kCalls,
              Percentile(calls, 0.5), Percentile(calls, 0.99));
  std::printf("bare request frame, same socket: median %.1f us, p99 %.1f us\n",
              Percentile(frames, 0.5), Percentile(frames, 0.99));
  std::printf("ratio shim / bare frame (median): %.2f\n",
              Percentile(calls, 0.5) / Percentile(frames, 0.5));
  return 0;
}
