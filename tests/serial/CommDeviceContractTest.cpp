// The comm-device contract (platform/comm/CommDevice.h), run on the fake port
// and on the native back-end: a pseudo-terminal on POSIX, a COM port pair
// under Wine for Win32.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/comm/CommDevice.h"
#include "tests/serial/CommContract.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/FakeCommPort.h"

namespace serial {
namespace {

using namespace platform;
using namespace testing_support;

constexpr int kFakeCom = 232;

class FakePeer : public CommPeer {
 public:
  explicit FakePeer(support::FakeCommPort& port) : port_(port) {}
  void Send(const std::vector<std::uint8_t>& bytes) override { port_.Receive(bytes); }
  std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout) override {
    port_.WaitForWritten(count, timeout);
    return port_.TakeWritten();
  }
  void HangUp() override { port_.Vanish(); }

 private:
  support::FakeCommPort& port_;
};

std::unique_ptr<CommHarness> MakeFakeHarness() {
  auto fake = std::make_shared<support::ScopedFakePort>(kFakeCom);
  auto harness = std::make_unique<CommHarness>();
  harness->deviceName = "\\\\.\\COM" + std::to_string(kFakeCom);
  harness->peer = std::make_unique<FakePeer>(**fake);
  harness->stallWrites = [fake] { (*fake)->SetWritesStuck(true); };
  harness->keepAlive = fake;
  return harness;
}

enum class Backend { Fake, Native };

class CommDeviceContractTest : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    std::string whyNot;
    harness_ = GetParam() == Backend::Fake ? MakeFakeHarness() : MakeNativeHarness(whyNot);
    if (!harness_) GTEST_SKIP() << whyNot;
    std::uint32_t error = 0;
    device_ = OpenCommDevice(harness_->deviceName, error);
    ASSERT_TRUE(device_) << "open failed with " << error;
    ASSERT_EQ(device_->SetupComm(4096, 4096), kErrorSuccess);
    CommTimeouts timeouts;
    timeouts.readInterval = CommTimeouts::kMaxTimeout;
    ASSERT_EQ(device_->SetCommTimeouts(timeouts), kErrorSuccess);
  }

  // Reads until count bytes came or the timeout passed.
  std::vector<std::uint8_t> ReadAll(std::size_t count) {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    std::uint8_t buffer[4096];
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::uint32_t read = 0;
      EXPECT_EQ(device_->ReadFile(buffer, sizeof buffer, read), kErrorSuccess);
      bytes.insert(bytes.end(), buffer, buffer + read);
      if (read == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return bytes;
  }

  std::uint32_t InQueue() {
    CommStatus status;
    EXPECT_EQ(device_->ClearCommError(status), kErrorSuccess);
    return status.inQueue;
  }

  bool WaitForInQueue(std::uint32_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (InQueue() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  std::unique_ptr<CommHarness> harness_;
  std::unique_ptr<CommDevice> device_;
};

TEST_P(CommDeviceContractTest, OpenIsExclusive) {
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: "
                 << "a second open of a COM port is allowed";
  std::uint32_t error = 0;
  EXPECT_FALSE(OpenCommDevice(harness_->deviceName, error));
  EXPECT_EQ(error, kErrorAccessDenied);
  device_.reset();
  EXPECT_TRUE(OpenCommDevice(harness_->deviceName, error)) << "closing frees the port";
}

TEST_P(CommDeviceContractTest, MissingPortIsFileNotFound) {
  std::uint32_t error = 0;
  EXPECT_FALSE(OpenCommDevice(MissingComName(), error));
  EXPECT_EQ(error, kErrorFileNotFound);
}

TEST_P(CommDeviceContractTest, WrittenBytesReachThePeer) {
  const auto bytes = Bytes("hello, line");
  std::uint32_t written = 0;
  ASSERT_EQ(device_->WriteFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()), written),
            kErrorSuccess);
  EXPECT_EQ(written, bytes.size());
  EXPECT_EQ(harness_->peer->Receive(bytes.size(), kTimeout), bytes);
}

TEST_P(CommDeviceContractTest, ReadingWithNothingThereReturnsAtOnce) {
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: an overlapped read with the interval timeout at MAXDWORD waits for data "
                    "instead of returning at once";
  std::uint8_t buffer[16];
  std::uint32_t read = 99;
  EXPECT_EQ(device_->ReadFile(buffer, sizeof buffer, read), kErrorSuccess);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(InQueue(), 0u);
}

TEST_P(CommDeviceContractTest, ReceivedBytesAreCountedAndRead) {
  const auto bytes = Bytes("0123456789");
  harness_->peer->Send(bytes);
  ASSERT_TRUE(WaitForInQueue(10));
  EXPECT_EQ(ReadAll(10), bytes);
  EXPECT_EQ(InQueue(), 0u);
}

TEST_P(CommDeviceContractTest, ReceivedBytesRaiseTheReceiveEvent) {
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: "
                 << "an overlapped WaitCommEvent on a pseudo-terminal ends at once with an "
                    "error and an empty mask";
  ASSERT_EQ(device_->SetCommMask(kEvRxChar), kErrorSuccess);
  auto wait = std::async(std::launch::async, [&] {
    std::uint32_t events = 0;
    const std::uint32_t error = device_->WaitCommEvent(events);
    return std::make_pair(error, events);
  });
  harness_->peer->Send(Bytes("x"));
  ASSERT_EQ(wait.wait_for(kTimeout), std::future_status::ready);
  const auto [error, events] = wait.get();
  EXPECT_EQ(error, kErrorSuccess);
  EXPECT_EQ(events, kEvRxChar);
  EXPECT_EQ(ReadAll(1), Bytes("x"));
}

TEST_P(CommDeviceContractTest, ChangingTheMaskEndsAPendingWait) {
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: "
                 << "a wait ended by a new mask fails with ERROR_OPERATION_ABORTED "
                    "instead of succeeding with an empty mask";
  ASSERT_EQ(device_->SetCommMask(kEvRxChar), kErrorSuccess);
  auto wait = std::async(std::launch::async, [&] {
    std::uint32_t events = 99;
    const std::uint32_t error = device_->WaitCommEvent(events);
    return std::make_pair(error, events);
  });
  // The wait may begin before or after the mask changes; either way it ends.
  while (wait.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
    ASSERT_EQ(device_->SetCommMask(0), kErrorSuccess);
  const auto [error, events] = wait.get();
  if (error == kErrorSuccess)
    EXPECT_EQ(events, 0u);
  else
    EXPECT_EQ(error, kErrorInvalidParameter) << "a wait begun with no mask is refused";
}

TEST_P(CommDeviceContractTest, WaitWithNoMaskIsRefused) {
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: "
                 << "WaitCommEvent with an empty mask fails with ERROR_OPERATION_ABORTED, "
                    "not ERROR_INVALID_PARAMETER";
  ASSERT_EQ(device_->SetCommMask(0), kErrorSuccess);
  std::uint32_t events = 0;
  EXPECT_EQ(device_->WaitCommEvent(events), kErrorInvalidParameter);
}

TEST_P(CommDeviceContractTest, PurgingInputDiscardsReceivedBytes) {
  harness_->peer->Send(Bytes("stale"));
  ASSERT_TRUE(WaitForInQueue(5));
  ASSERT_EQ(device_->PurgeComm(kPurgeRxAbort | kPurgeRxClear), kErrorSuccess);
  EXPECT_EQ(InQueue(), 0u);
  harness_->peer->Send(Bytes("fresh"));
  EXPECT_EQ(ReadAll(5), Bytes("fresh"));
}

TEST_P(CommDeviceContractTest, TxAbortEndsAWriteThatCannotFinish) {
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: "
                 << "PurgeComm does not end an overlapped write held up by a full "
                    "pseudo-terminal";
  if (harness_->stallWrites) harness_->stallWrites();
  // Writes until the line is full (nobody reads the far end), so that a write
  // blocks; the abort must end it.
  const std::vector<std::uint8_t> block(1 << 20, 'w');
  auto write = std::async(std::launch::async, [&] {
    for (;;) {
      std::uint32_t written = 0;
      const std::uint32_t error =
          device_->WriteFile(block.data(), static_cast<std::uint32_t>(block.size()), written);
      if (error != kErrorSuccess) return std::make_pair(error, written);
      if (written == 0) return std::make_pair(kErrorGenFailure, written);
    }
  });
  while (write.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
    ASSERT_EQ(device_->PurgeComm(kPurgeTxAbort | kPurgeTxClear), kErrorSuccess);
  const auto [error, written] = write.get();
  EXPECT_EQ(error, kErrorOperationAborted);
  EXPECT_LT(written, block.size());
}

struct StateCase {
  std::uint32_t baud;
  std::uint8_t byteSize;
  std::uint8_t parity;
  std::uint8_t stopBits;
};

class CommStateTest : public CommDeviceContractTest {
 protected:
  void Check(const StateCase& c) {
    CommState state;
    ASSERT_EQ(device_->GetCommState(state), kErrorSuccess);
    state.baudRate = c.baud;
    state.byteSize = c.byteSize;
    state.parity = c.parity;
    state.stopBits = c.stopBits;
    ASSERT_EQ(device_->SetCommState(state), kErrorSuccess);
    CommState back;
    ASSERT_EQ(device_->GetCommState(back), kErrorSuccess);
    EXPECT_EQ(back.baudRate, c.baud);
    EXPECT_EQ(back.stopBits, c.stopBits);
    if (harness_->keepsByteSizeAndParity) {
      EXPECT_EQ(back.byteSize, c.byteSize);
      EXPECT_EQ(back.parity, c.parity);
    }
  }
};

TEST_P(CommStateTest, SettingsReadBackAsWritten) {
  for (const StateCase& c :
       {StateCase{9600, 8, kNoParity, kOneStopBit}, StateCase{115200, 8, kNoParity, kTwoStopBits},
        StateCase{38400, 7, kEvenParity, kOneStopBit},
        StateCase{921600, 8, kOddParity, kOneStopBit},
        StateCase{2400, 6, kMarkParity, kTwoStopBits}}) {
    SCOPED_TRACE(c.baud);
    Check(c);
  }
}

TEST_P(CommStateTest, CustomRateReadsBack) {
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: a rate outside the standard list reads back as 38400";
  Check(StateCase{250000, 8, kNoParity, kOneStopBit});
}

TEST_P(CommStateTest, InvalidSettingsAreRefused) {
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: "
                 << "SetCommState answers ERROR_NOT_SUPPORTED for a byte size of 9 and "
                    "accepts a rate of 0";
  CommState state;
  ASSERT_EQ(device_->GetCommState(state), kErrorSuccess);
  state.byteSize = 9;
  EXPECT_EQ(device_->SetCommState(state), kErrorInvalidParameter);
  state.byteSize = 8;
  state.baudRate = 0;
  EXPECT_EQ(device_->SetCommState(state), kErrorInvalidParameter);
}

TEST_P(CommDeviceContractTest, HangUpFailsTheWaitAndEveryLaterCall) {
  if (!harness_->canHangUp) GTEST_SKIP() << "this peer cannot make the port vanish";
  ASSERT_EQ(device_->SetCommMask(kEvRxChar | kEvCts), kErrorSuccess);
  auto wait = std::async(std::launch::async, [&] {
    std::uint32_t events = 0;
    return device_->WaitCommEvent(events);
  });
  harness_->peer->HangUp();
  ASSERT_EQ(wait.wait_for(kTimeout), std::future_status::ready);
  EXPECT_EQ(wait.get(), kErrorGenFailure);
  std::uint8_t buffer[8];
  std::uint32_t count = 0;
  EXPECT_EQ(device_->ReadFile(buffer, sizeof buffer, count), kErrorGenFailure);
  EXPECT_EQ(device_->WriteFile(buffer, sizeof buffer, count), kErrorGenFailure);
  CommStatus status;
  EXPECT_EQ(device_->ClearCommError(status), kErrorGenFailure);
  std::uint32_t events = 0;
  EXPECT_EQ(device_->WaitCommEvent(events), kErrorGenFailure);
}

TEST_P(CommDeviceContractTest, LinesOfAPortWithoutModemLinesReadOff) {
  if (harness_->hasModemLines) GTEST_SKIP() << "this port has modem lines";
  if (harness_->underWine)
    GTEST_SKIP() << "Wine: modem-line calls on a pseudo-terminal fail with ERROR_NOT_SUPPORTED";
  EXPECT_EQ(device_->EscapeCommFunction(kSetDtr), kErrorSuccess);
  EXPECT_EQ(device_->EscapeCommFunction(kClrRts), kErrorSuccess);
  std::uint32_t lines = 99;
  EXPECT_EQ(device_->GetCommModemStatus(lines), kErrorSuccess);
  EXPECT_EQ(lines, 0u);
}

// The optional calls, on back-ends that have them.
TEST_P(CommDeviceContractTest, InputWaitEndsWhenBytesArrive) {
  if (!device_->CanWaitForInput()) GTEST_SKIP() << "this back-end has no input wait";
  bool readable = true;
  EXPECT_EQ(device_->WaitForInput(true, std::chrono::milliseconds(20), readable), kErrorSuccess);
  EXPECT_FALSE(readable) << "nothing came within the timeout";
  auto wait = std::async(std::launch::async, [&] {
    bool arrived = false;
    const std::uint32_t error = device_->WaitForInput(true, std::chrono::milliseconds(-1), arrived);
    return std::make_pair(error, arrived);
  });
  harness_->peer->Send(Bytes("x"));
  ASSERT_EQ(wait.wait_for(kTimeout), std::future_status::ready);
  EXPECT_EQ(wait.get(), std::make_pair(kErrorSuccess, true));
  EXPECT_EQ(ReadAll(1), Bytes("x"));
}

TEST_P(CommDeviceContractTest, AWakeEndsTheInputWaitOrTheNextOne) {
  if (!device_->CanWaitForInput()) GTEST_SKIP() << "this back-end has no input wait";
  device_->WakeInputWait();
  bool readable = true;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device_->WaitForInput(true, kTimeout, readable), kErrorSuccess);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kTimeout / 2) << "an earlier wake ends it";
  EXPECT_FALSE(readable);
  auto wait = std::async(std::launch::async, [&] {
    bool arrived = false;
    return device_->WaitForInput(false, std::chrono::milliseconds(-1), arrived);
  });
  while (wait.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
    device_->WakeInputWait();
  EXPECT_EQ(wait.get(), kErrorSuccess);
}

TEST_P(CommDeviceContractTest, WritingNowTakesWhatTheLineTakesWithoutBlocking) {
  if (!device_->CanWriteNow()) GTEST_SKIP() << "this back-end has no immediate write";
  const auto bytes = Bytes("now");
  std::uint32_t written = 0;
  ASSERT_EQ(device_->WriteFileNow(bytes.data(), 3, written), kErrorSuccess);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(harness_->peer->Receive(3, kTimeout), bytes);
  // Nobody reads the far end now: the line fills, and then takes nothing.
  const std::vector<std::uint8_t> block(1 << 16, 'w');
  for (int i = 0; i < 64 && written > 0; ++i)
    ASSERT_EQ(
        device_->WriteFileNow(block.data(), static_cast<std::uint32_t>(block.size()), written),
        kErrorSuccess);
  EXPECT_EQ(written, 0u);
}

std::string BackendName(const testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::Fake ? "Fake" : "Native";
}

INSTANTIATE_TEST_SUITE_P(Backends, CommDeviceContractTest,
                         testing::Values(Backend::Fake, Backend::Native), BackendName);
INSTANTIATE_TEST_SUITE_P(Backends, CommStateTest, testing::Values(Backend::Fake, Backend::Native),
                         BackendName);

}  // namespace
}  // namespace serial
