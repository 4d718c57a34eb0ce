// The POSIX back-end's own behaviour on a pseudo-terminal: the emulated input
// flow hold, and writes longer than the line holds.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <thread>

#include "platform/comm/CommDevice.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/PtyPort.h"

namespace serial {
namespace {

using namespace platform;
using namespace testing_support;

constexpr int kCom = 234;
constexpr std::uint8_t kXon = 17;
constexpr std::uint8_t kXoff = 19;

class PosixCommDeviceTest : public testing::Test {
 protected:
  void SetUp() override {
    std::uint32_t error = 0;
    device_ = OpenCommDevice("\\\\.\\COM" + std::to_string(kCom), error);
    ASSERT_TRUE(device_) << "open failed with " << error;
    ASSERT_EQ(device_->SetupComm(100, 100), kErrorSuccess);
  }

  std::uint32_t Read(std::uint32_t size) {
    std::vector<std::uint8_t> buffer(size);
    std::uint32_t read = 0;
    EXPECT_EQ(device_->ReadFile(buffer.data(), size, read), kErrorSuccess);
    return read;
  }

  bool WaitForInQueue(std::uint32_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    for (;;) {
      CommStatus status;
      if (device_->ClearCommError(status) == kErrorSuccess && status.inQueue >= count) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  support::ScopedHostRoot root_;
  support::PtyPort pty_{root_, kCom};
  std::unique_ptr<CommDevice> device_;
};

// The output thread refills behind what the line took: a write longer than
// the line holds reports the part taken once the line takes more, instead of
// waiting until all of it has gone.
TEST_F(PosixCommDeviceTest, ALongWriteReportsThePartTheLineTook) {
  const std::vector<std::uint8_t> block(1 << 20, 'w');
  std::uint32_t written = 0;
  auto write = std::async(std::launch::async, [&] {
    return device_->WriteFile(block.data(), static_cast<std::uint32_t>(block.size()), written);
  });
  // The far end reads until the write returns: how much reading frees room
  // in a pseudo-terminal depends on how the kernel holds its buffer.
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (write.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
         std::chrono::steady_clock::now() < deadline)
    pty_.Receive(4096, std::chrono::milliseconds(10));
  if (write.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    device_->PurgeComm(kPurgeTxAbort);  // ends the write, so the test can fail
  EXPECT_EQ(write.get(), kErrorSuccess);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, block.size());
}

struct ReleaseCase {
  const char* name;
  std::function<void(CommDevice&, std::uint32_t held)> release;
};

class InputHoldReleaseTest : public PosixCommDeviceTest,
                             public testing::WithParamInterface<ReleaseCase> {};

// Input XON/XOFF with room for 100 bytes: the sender is held (XOFF) from 10
// bytes on; every way of ending the hold sends XON.
TEST_P(InputHoldReleaseTest, EndingTheHoldSendsXon) {
  CommState state;
  ASSERT_EQ(device_->GetCommState(state), kErrorSuccess);
  state.inX = true;
  state.xoffLim = 90;
  state.xonLim = 0;
  ASSERT_EQ(device_->SetCommState(state), kErrorSuccess);
  pty_.Send(std::string(20, 'h'));
  ASSERT_TRUE(WaitForInQueue(20));
  ASSERT_EQ(Read(1), 1u);  // a read looks at the fill level
  ASSERT_EQ(pty_.Receive(1, kTimeout), std::vector<std::uint8_t>{kXoff});
  GetParam().release(*device_, 19);
  EXPECT_EQ(pty_.Receive(1, kTimeout), std::vector<std::uint8_t>{kXon});
}

INSTANTIATE_TEST_SUITE_P(
    Ways, InputHoldReleaseTest,
    testing::Values(ReleaseCase{"XonXoffTurnedOff",
                                [](CommDevice& device, std::uint32_t) {
                                  CommState state;
                                  ASSERT_EQ(device.GetCommState(state), kErrorSuccess);
                                  state.inX = false;
                                  ASSERT_EQ(device.SetCommState(state), kErrorSuccess);
                                }},
                    ReleaseCase{"InputPurged",
                                [](CommDevice& device, std::uint32_t) {
                                  ASSERT_EQ(device.PurgeComm(kPurgeRxAbort | kPurgeRxClear),
                                            kErrorSuccess);
                                }},
                    ReleaseCase{"InputReadDown",
                                [](CommDevice& device, std::uint32_t held) {
                                  std::vector<std::uint8_t> buffer(held);
                                  std::uint32_t read = 0;
                                  ASSERT_EQ(device.ReadFile(buffer.data(), held, read),
                                            kErrorSuccess);
                                  ASSERT_EQ(read, held);
                                }}),
    [](const testing::TestParamInfo<ReleaseCase>& info) { return info.param.name; });

}  // namespace
}  // namespace serial
