// The POSIX harness: a pseudo-terminal linked as a COM port.
#include "tests/serial/CommContract.h"
#include "tests/support/PtyPort.h"

namespace serial::testing_support {
namespace {

constexpr int kPtyCom = 231;

class PtyPeer : public CommPeer {
 public:
  explicit PtyPeer(support::PtyPort& pty) : pty_(pty) {}
  void Send(const std::vector<std::uint8_t>& bytes) override { pty_.Send(bytes); }
  std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout) override {
    return pty_.Receive(count, timeout);
  }
  void HangUp() override { pty_.HangUp(); }

 private:
  support::PtyPort& pty_;
};

struct PtyParts {
  support::ScopedHostRoot root;
  support::PtyPort pty{root, kPtyCom};
};

}  // namespace

std::unique_ptr<CommHarness> MakeNativeHarness(std::string&) {
  auto parts = std::make_shared<PtyParts>();
  auto harness = std::make_unique<CommHarness>();
  harness->deviceName = "\\\\.\\COM" + std::to_string(kPtyCom);
  harness->peer = std::make_unique<PtyPeer>(parts->pty);
  harness->keepsByteSizeAndParity = false;
  harness->hasModemLines = false;
  harness->keepAlive = parts;
  return harness;
}

std::string MissingComName() {
  return "\\\\.\\COM249";
}

}  // namespace serial::testing_support
