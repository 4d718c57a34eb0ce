// The engine end to end over real pseudo-terminals linked as COM ports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "serial/ComPort.h"
#include "serial/Exceptions.h"
#include "serial/PortProbe.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/PtyPort.h"

namespace serial {
namespace {

using namespace testing_support;

constexpr int kCom = 241;
constexpr int kMissingCom = 242;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kBulkBytes = 8u << 20;  // sanitizers run the same paths, slower
#else
constexpr std::size_t kBulkBytes = 64u << 20;
#endif

// A byte stream whose every position can be checked without storing it.
std::uint8_t StreamByte(std::size_t i) {
  return static_cast<std::uint8_t>(i * 131 + (i >> 13));
}

class PtyEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    port_.SetComNumber(kCom);
    port_.SetPromptForPort(false);
    port_.SetBaud(115200);
  }
  support::ScopedHostRoot root_;
  support::PtyPort pty_{root_, kCom};
  TApdComPort port_;
};

TEST_F(PtyEndToEndTest, OpensThroughTheDosdevicesLinkAndCarriesDataBothWays) {
  std::string received;
  port_.OnTriggerAvail = [&](TApdCustomComPort& cp, std::uint16_t count) {
    for (int i = 0; i < count; ++i) received += cp.ReceiveChar();
  };
  port_.SetOpen(true);
  pty_.Send("from the far end");
  ASSERT_TRUE(PumpUntil([&] { return received.size() == 16; }));
  EXPECT_EQ(received, "from the far end");
  EXPECT_TRUE(pty_.Receive(1, std::chrono::milliseconds(50)).empty()) << "no echo: the line is raw";
  port_.SendText("to the far end");
  EXPECT_EQ(pty_.Receive(14, kTimeout), Bytes("to the far end"));
}

TEST_F(PtyEndToEndTest, RateAndStopBitsAreVisibleFromTheFarEnd) {
  port_.SetStopBits(2);
  port_.SetOpen(true);
  termios t{};
  ASSERT_EQ(tcgetattr(pty_.Master(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B115200);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  port_.SetBaud(9600);
  port_.SetStopBits(1);
  ASSERT_EQ(tcgetattr(pty_.Master(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_FALSE(t.c_cflag & CSTOPB);
}

enum class HoldBy { ThisEngine, FlockOnly, ExclusiveFlagOnly };

class HeldPortTest : public PtyEndToEndTest, public testing::WithParamInterface<HoldBy> {};

// Another process holds the port the way the engine does, or only one of the
// two ways other programs use; this process (root here) must still be refused.
TEST_P(HeldPortTest, PortHeldByAnotherProcessIsAlreadyOpenButAvailable) {
  const std::string path = pty_.SlavePath();
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const HoldBy how = GetParam();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) _exit(1);
    if (how != HoldBy::ExclusiveFlagOnly && flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(2);
    if (how != HoldBy::FlockOnly && ioctl(fd, TIOCEXCL) != 0) _exit(3);
    char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(4);
    if (read(release[0], &byte, 1) < 0) _exit(5);
    ioctl(fd, TIOCNXCL);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  EXPECT_THROW(port_.SetOpen(true), EAlreadyOpen);
  EXPECT_FALSE(port_.Open());
  CountBusyPorts = true;
  EXPECT_TRUE(IsPortAvailable(kCom));
  CountBusyPorts = false;
  EXPECT_FALSE(IsPortAvailable(kCom));
  CountBusyPorts = true;
  ProbeThroughDispatcher = false;
  EXPECT_TRUE(IsPortAvailable(kCom));
  ProbeThroughDispatcher = true;
  ASSERT_EQ(write(release[1], &byte, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
  port_.SetOpen(true);
  EXPECT_TRUE(port_.Open()) << "free again once the other process let go";
}

INSTANTIATE_TEST_SUITE_P(Ways, HeldPortTest,
                         testing::Values(HoldBy::ThisEngine, HoldBy::FlockOnly,
                                         HoldBy::ExclusiveFlagOnly));

TEST_F(PtyEndToEndTest, AMissingPortIsBadIdAndNotAvailable) {
  port_.SetComNumber(kMissingCom);
  EXPECT_THROW(port_.SetOpen(true), EBadId);
  EXPECT_FALSE(IsPortAvailable(kMissingCom));
  EXPECT_FALSE(IsPortAvailable(0));
  EXPECT_TRUE(IsPortAvailable(kCom));
}

TEST_F(PtyEndToEndTest, ProbingLeavesTheLineAsItWas) {
  termios before{};
  ASSERT_EQ(tcgetattr(pty_.Master(), &before), 0);
  before.c_lflag |= ECHO | ICANON;
  cfsetospeed(&before, B2400);
  cfsetispeed(&before, B2400);
  ASSERT_EQ(tcsetattr(pty_.Master(), TCSANOW, &before), 0);
  ASSERT_EQ(tcgetattr(pty_.Master(), &before), 0);
  ASSERT_TRUE(IsPortAvailable(kCom));
  termios after{};
  ASSERT_EQ(tcgetattr(pty_.Master(), &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(cfgetospeed(&after), B2400);
}

TEST_F(PtyEndToEndTest, BulkDataBothWaysArrivesWholeAndInOrder) {
  port_.SetOpen(true);
  TApdBaseDispatcher& dispatcher = *port_.Dispatcher();
  std::atomic<std::size_t> received{0};
  std::atomic<bool> receiveIntact{true};
  std::vector<std::uint8_t> block(TApdBaseDispatcher::kDispatchBufferSize);
  dispatcher.AddEventHandler(
      &received, [&](platform::UINT msg, platform::WPARAM count, platform::LPARAM) {
        if (msg != kMsgTriggerAvail) return;
        if (dispatcher.TakeInput(block.data(), static_cast<std::uint32_t>(count)) != 0) return;
        const std::size_t start = received;
        for (std::size_t i = 0; i < count; ++i)
          if (block[i] != StreamByte(start + i)) receiveIntact = false;
        received += count;
      });

  std::thread farWriter([&] {
    std::vector<std::uint8_t> chunk(65536);
    for (std::size_t sent = 0; sent < kBulkBytes; sent += chunk.size()) {
      for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = StreamByte(sent + i);
      pty_.Send(chunk);
    }
  });
  std::atomic<std::size_t> transmitted{0};
  std::atomic<bool> transmitIntact{true};
  std::thread farReader([&] {
    while (transmitted < kBulkBytes) {
      const auto bytes = pty_.Receive(std::min<std::size_t>(65536, kBulkBytes - transmitted),
                                      std::chrono::seconds(30));
      if (bytes.empty()) break;
      const std::size_t start = transmitted;
      for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != StreamByte(start + i)) transmitIntact = false;
      transmitted += bytes.size();
    }
  });

  std::vector<std::uint8_t> out(4096);
  for (std::size_t queued = 0; queued < kBulkBytes;) {
    const std::size_t size = std::min(out.size(), kBulkBytes - queued);
    for (std::size_t i = 0; i < size; ++i) out[i] = StreamByte(queued + i);
    if (dispatcher.QueueOutput(out.data(), static_cast<std::uint32_t>(size)) == 0)
      queued += size;
    else
      std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  farWriter.join();
  farReader.join();
  ASSERT_TRUE(PumpUntil([&] { return received == kBulkBytes; }, std::chrono::seconds(60)))
      << received << " of " << kBulkBytes;
  EXPECT_TRUE(receiveIntact);
  EXPECT_EQ(transmitted, kBulkBytes);
  EXPECT_TRUE(transmitIntact);
  dispatcher.RemoveEventHandler(&received);
}

TEST_F(PtyEndToEndTest, FarEndClosingNeitherCrashesNorSpinsAndCloseStillWorks) {
  port_.OnTriggerAvail = [](TApdCustomComPort& cp, std::uint16_t count) {
    for (int i = 0; i < count; ++i) cp.ReceiveChar();
  };
  port_.SetOpen(true);
  pty_.Send("last words");
  pty_.HangUp();
  PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  const ThreadCpuSample sample;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double cpuUsed = sample.BusiestThreadSince();
  EXPECT_LT(cpuUsed, 0.05) << "a thread of a vanished port used " << cpuUsed * 100 << "% of a core";
  EXPECT_FALSE(port_.CtsOn());
  port_.SendChar('x');  // dropped by the failing device, not raised
  port_.SetOpen(false);
  EXPECT_EQ(port_.State(), PortState::Closed);
}

}  // namespace
}  // namespace serial
