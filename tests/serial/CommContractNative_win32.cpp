// The Win32 harness: a pair of COM ports joined like a null-modem cable
// (under Wine, two pseudo-terminals relayed by tests/serial/wine_com_pair.py,
// which names them in QUOR_TEST_COM_PAIR as "A,B"). A is the port under
// test; the peer drives B through the same back-end.
#include <windows.h>

#include <cstdlib>
#include <thread>

#include "platform/comm/CommDevice.h"
#include "tests/serial/CommContract.h"

namespace serial::testing_support {
namespace {

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class ComPeer : public CommPeer {
 public:
  explicit ComPeer(std::unique_ptr<platform::CommDevice> device) : device_(std::move(device)) {
    platform::CommTimeouts timeouts;
    timeouts.readInterval = platform::CommTimeouts::kMaxTimeout;
    device_->SetCommTimeouts(timeouts);
  }
  void Send(const std::vector<std::uint8_t>& bytes) override {
    std::uint32_t written = 0;
    device_->WriteFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
  }
  std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout) override {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint8_t buffer[4096];
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::uint32_t read = 0;
      const auto want = static_cast<std::uint32_t>(std::min(sizeof buffer, count - bytes.size()));
      if (device_->ReadFile(buffer, want, read) != platform::kErrorSuccess) break;
      bytes.insert(bytes.end(), buffer, buffer + read);
      if (read == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return bytes;
  }
  void HangUp() override {}

 private:
  std::unique_ptr<platform::CommDevice> device_;
};

}  // namespace

std::unique_ptr<CommHarness> MakeNativeHarness(std::string& whyNot) {
  const char* pair = std::getenv("QUOR_TEST_COM_PAIR");
  int a = 0;
  int b = 0;
  if (!pair || std::sscanf(pair, "%d,%d", &a, &b) != 2) {
    whyNot = "no COM port pair (QUOR_TEST_COM_PAIR) to test the Win32 back-end on";
    return nullptr;
  }
  std::uint32_t error = 0;
  auto peerDevice = platform::OpenCommDevice("\\\\.\\COM" + std::to_string(b), error);
  if (!peerDevice) {
    whyNot = "the peer port COM" + std::to_string(b) + " does not open (error " +
             std::to_string(error) + ")";
    return nullptr;
  }
  auto harness = std::make_unique<CommHarness>();
  harness->deviceName = "\\\\.\\COM" + std::to_string(a);
  harness->peer = std::make_unique<ComPeer>(std::move(peerDevice));
  harness->underWine = UnderWine();
  harness->canHangUp = false;
  harness->keepsByteSizeAndParity = !harness->underWine;
  harness->hasModemLines = !harness->underWine;
  return harness;
}

std::string MissingComName() {
  return "\\\\.\\COM249";
}

}  // namespace serial::testing_support
