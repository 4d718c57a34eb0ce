// The real library, loaded the way the program loads it, against a real
// orvalisd of each family.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "OrvalisdProcess.h"
#include "PortHolderProcess.h"
#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"
#include "platform/Modules.h"

namespace orvalisd::test {
namespace {

using namespace mgmt;

// libquormgmt.so for the host root, released when the object goes.
class LoadedShim {
 public:
  explicit LoadedShim(const std::string& root) {
    setenv("QUOR_HOST_ROOT", root.c_str(), 1);
    module_ = platform::LoadLibrary("QuorMgmt.DLL");
    if (module_)
      command_ =
          reinterpret_cast<MgmtCommandFunction>(platform::GetProcAddress(module_, "MgmtCommand"));
  }
  ~LoadedShim() {
    if (module_) platform::FreeLibrary(module_);
  }
  bool Loaded() const { return command_ != nullptr; }
  std::int32_t operator()(std::int32_t board, std::uint32_t command, const void* in,
                          std::uint32_t inLength, void* out, std::uint32_t outLength) const {
    return command_(board, command, in, inLength, out, outLength);
  }
  std::uint32_t Word(std::int32_t board, std::uint32_t command, std::uint32_t outLength = 4) const {
    std::array<std::uint8_t, 256> out{};
    if ((*this)(board, command, nullptr, 0, out.data(), outLength) != MgmtSuccess) return ~0u;
    return GetU32(out.data(), 0);
  }
  std::string Text(std::int32_t board, std::uint32_t command, std::uint32_t offset,
                   std::uint32_t outLength) const {
    std::array<std::uint8_t, 1100> out{};
    if ((*this)(board, command, nullptr, 0, out.data(), outLength) != MgmtSuccess)
      return "<failed>";
    return reinterpret_cast<const char*>(out.data() + offset);
  }
  std::array<std::uint8_t, 76> PortRecord(std::int32_t board, std::uint32_t command,
                                          std::uint32_t port) const {
    std::array<std::uint8_t, 76> out{};
    out.fill(0xEE);
    const std::uint32_t size = command == MgmtGetPortStatus ? 56 : 76;
    EXPECT_EQ((*this)(board, command, &port, 4, out.data(), size), MgmtSuccess);
    return out;
  }
  // The record once the driver has seen what the test did: opens and closes
  // show within milliseconds, line settings within a heartbeat.
  template <typename Seen>
  std::array<std::uint8_t, 76> PortRecordOnce(std::int32_t board, std::uint32_t command,
                                              std::uint32_t port, Seen seen) const {
    auto record = PortRecord(board, command, port);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!seen(record.data()) && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      record = PortRecord(board, command, port);
    }
    return record;
  }

 private:
  platform::HMODULE module_ = nullptr;
  MgmtCommandFunction command_ = nullptr;
};

// Another process holding a board port open, with settings of its own.
bool OpenWithSettings(const std::string& path, speed_t speed, bool twoStopBits,
                      const std::string& bytes) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, speed);
  if (twoStopBits) settings.c_cflag |= CSTOPB;
  tcsetattr(fd, TCSANOW, &settings);
  return fd >= 0 && (bytes.empty() || write(fd, bytes.data(), bytes.size()) >= 0);
}

struct FamilyCase {
  const char* family;
  const char* driverName;
};

class ShimOverOrvalisd : public testing::TestWithParam<FamilyCase> {};

// Boards 4 ports (COM20-23) and 2 ports (COM24-25); the shim's board 1 is the
// one its walk finds last, orvalisd's second.
TEST_P(ShimOverOrvalisd, BoardsNamesAndPortStatus) {
  TempRoot root;
  OrvalisdProcess daemon(root.Path(), {"--family", GetParam().family, "--board", "4", "--board",
                                       "2", "--first-com", "20"});
  ASSERT_TRUE(daemon.Ready()) << daemon.Output();
  LoadedShim shim(root.Path());
  ASSERT_TRUE(shim.Loaded());

  EXPECT_EQ(shim.Word(0, MgmtGetVersion), 1u);
  ASSERT_EQ(shim.Word(0, MgmtGetBoardCount), 2u);
  std::array<std::uint8_t, 20> summary{};
  ASSERT_EQ(shim(1, MgmtGetBoardSummary, nullptr, 0, summary.data(), 20), MgmtSuccess);
  EXPECT_EQ(GetU32(summary.data(), 0), 1u);
  EXPECT_EQ(GetU32(summary.data(), 8), 0xB0u);
  EXPECT_EQ(GetU32(summary.data(), 16), 2u);
  EXPECT_EQ(shim.Text(1, MgmtGetBoardName, 0, 251), "Orvalis PCI 2-port board 2 (COM24-COM25)");
  EXPECT_EQ(shim.Text(2, MgmtGetBoardName, 0, 251), "Orvalis PCI 4-port board 1 (COM20-COM23)");
  EXPECT_EQ(shim.Word(1, MgmtGetDriverInfo, 132), 3u);
  EXPECT_EQ(shim.Text(1, MgmtGetDriverInfo, 4, 132), GetParam().driverName);
  EXPECT_EQ(shim.Text(1, MgmtGetDriverInfo, 68, 132), ORVALISD_DRIVER_VERSION);
  EXPECT_EQ(shim.Word(2, MgmtGetPortNames, 1028), 4u);
  EXPECT_EQ(shim.Text(2, MgmtGetPortNames, 4, 1028), "COM20");
  EXPECT_EQ(shim.Text(2, MgmtGetPortNames, 4 + 3 * 16, 1028), "COM23");
  EXPECT_EQ(shim.Text(1, MgmtGetPortNames, 4 + 16, 1028), "COM25");
  EXPECT_EQ(shim.Word(3, MgmtGetBoardSummary, 20), ~0u) << "board 3 does not exist";

  EXPECT_EQ(GetU32(shim.PortRecord(1, MgmtGetPortStatus, 1).data(), 0), 1u) << "closed";
  {
    PortHolderProcess holder([&] {
      return OpenWithSettings(root.Path() + "/dosdevices/com25", B19200, true, "0123456789");
    });
    ASSERT_TRUE(holder.Held());
    const auto status = shim.PortRecordOnce(1, MgmtGetPortStatus, 1, [](const std::uint8_t* r) {
      return GetU32(r, 0) != 1 && GetU32(r, 32) == 19200;
    });
    EXPECT_NE(GetU32(status.data(), 0), 1u) << "open";
    EXPECT_EQ(GetU32(status.data(), 32), 19200u);
    EXPECT_EQ(GetU32(status.data(), 36), 19200u);
    EXPECT_EQ(GetU32(status.data(), 48), 2u) << "two stop bits";
    EXPECT_EQ(status[24], 0) << "a pseudo-terminal has no RTS";
    EXPECT_EQ(GetU32(status.data(), 44), 0u) << "data bits are not reported";
    EXPECT_EQ(GetU32(shim.PortRecord(1, MgmtGetPortStatus, 0).data(), 0), 1u)
        << "the neighbour stays closed";
    // The port drains at 1920 bytes a second; allow a slow machine plenty.
    std::uint32_t transmitted = 0;
    for (int i = 0; i < 300 && transmitted < 10; ++i) {
      transmitted = GetU32(shim.PortRecord(1, MgmtGetPortCounters, 1).data(), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(transmitted, 10u);
    holder.Release();
    const auto closed = shim.PortRecordOnce(
        1, MgmtGetPortStatus, 1, [](const std::uint8_t* r) { return GetU32(r, 0) == 1; });
    EXPECT_EQ(GetU32(closed.data(), 0), 1u) << "closed again";
  }
  std::uint32_t port = 2;
  std::array<std::uint8_t, 56> status{};
  EXPECT_EQ(shim(1, MgmtGetPortStatus, &port, 4, status.data(), 56), MgmtFailure)
      << "board 1 has two ports";
}

INSTANTIATE_TEST_SUITE_P(Families, ShimOverOrvalisd,
                         testing::Values(FamilyCase{"nt5", "orvalis.sys"},
                                         FamilyCase{"nt4", "orvalis.sys"},
                                         FamilyCase{"9x", "ORVALIS.VXD"}),
                         [](const auto& info) {
                           return std::string(info.param.family) == "9x"
                                      ? std::string("Win9x")
                                      : std::string(info.param.family);
                         });

TEST(ShimWithoutOrvalisd, NoHostJsonLoadsWithoutBoards) {
  TempRoot root;
  LoadedShim shim(root.Path());
  ASSERT_TRUE(shim.Loaded());
  EXPECT_EQ(shim.Word(0, MgmtGetVersion), 1u);
  EXPECT_EQ(shim.Word(0, MgmtGetBoardCount), 0u);
  EXPECT_EQ(shim.Word(1, MgmtGetBoardSummary, 20), ~0u);
}

TEST(ShimWithoutOrvalisd, UnreadableVersionRefusesTheLoad) {
  TempRoot root;
  const std::string json =
      R"({"version": {"platform": 2, "major": 5, "minor": 1, "extendedRecord": false, "plainRecord": false}})";
  FILE* file = std::fopen((root.Path() + "/host.json").c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs(json.c_str(), file);
  std::fclose(file);
  LoadedShim shim(root.Path());
  EXPECT_FALSE(shim.Loaded());
}

TEST(ShimWithoutOrvalisd, BoardsGoneAfterOrvalisdStopsStillAnswerFromTheList) {
  TempRoot root;
  auto daemon =
      std::make_unique<OrvalisdProcess>(root.Path(), std::vector<std::string>{"--board", "2"});
  ASSERT_TRUE(daemon->Ready()) << daemon->Output();
  LoadedShim shim(root.Path());
  ASSERT_TRUE(shim.Loaded());
  EXPECT_EQ(daemon->Stop(), 0);
  daemon.reset();
  EXPECT_EQ(shim.Word(0, MgmtGetBoardCount), 1u) << "the list is that of load time";
  std::uint32_t port = 0;
  std::array<std::uint8_t, 56> status{};
  EXPECT_EQ(shim(1, MgmtGetPortStatus, &port, 4, status.data(), 56), MgmtFailure);
}

template <typename Condition>
bool WaitFor(Condition condition) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool StatusAnswers(const LoadedShim& shim, std::uint32_t port) {
  std::array<std::uint8_t, 56> status{};
  return shim(1, MgmtGetPortStatus, &port, 4, status.data(), 56) == MgmtSuccess;
}

// The old limit was a second per request: a stalled board blocked the
// program's tick for minutes. The bounds here are loose; the bench has the
// figures.
TEST(ShimWithStalledOrvalisd, StoppedDriverFailsFastAndAnswersAgainAfterContinue) {
  TempRoot root;
  OrvalisdProcess daemon(root.Path(), {"--board", "2"});
  ASSERT_TRUE(daemon.Ready()) << daemon.Output();
  LoadedShim shim(root.Path());
  ASSERT_EQ(shim.Word(1, MgmtGetPortNames, 1028), 2u);
  ASSERT_TRUE(daemon.Signal(SIGSTOP));

  // Port names need the driver itself: the first request waits out its limit
  // only, those after it fail at once.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(shim.Word(1, MgmtGetPortNames, 1028), ~0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(shim.Word(1, MgmtGetPortNames, 1028), ~0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  // Past the page's stale limit the status fails too.
  EXPECT_TRUE(WaitFor([&] { return !StatusAnswers(shim, 0); }));

  ASSERT_TRUE(daemon.Signal(SIGCONT));
  EXPECT_TRUE(WaitFor([&] { return StatusAnswers(shim, 0); }));
  EXPECT_TRUE(WaitFor([&] { return shim.Word(1, MgmtGetPortNames, 1028) == 2u; }));
  EXPECT_EQ(shim.Text(1, MgmtGetPortNames, 4 + 16, 1028), "COM4")
      << "its own reply, not a late one";
}

TEST(ShimWithStalledOrvalisd, KilledDriverFailsAndANewOneOnTheRootIsTakenUp) {
  TempRoot root;
  const std::vector<std::string> boards = {"--board", "2", "--first-com", "20"};
  auto daemon = std::make_unique<OrvalisdProcess>(root.Path(), boards);
  ASSERT_TRUE(daemon->Ready()) << daemon->Output();
  LoadedShim shim(root.Path());
  ASSERT_TRUE(StatusAnswers(shim, 1));
  ASSERT_TRUE(daemon->Signal(SIGKILL));
  daemon->Wait();

  EXPECT_EQ(shim.Word(1, MgmtGetPortNames, 1028), ~0u) << "its socket is gone";
  EXPECT_TRUE(WaitFor([&] { return !StatusAnswers(shim, 1); })) << "its page went stale";

  daemon = std::make_unique<OrvalisdProcess>(root.Path(), boards);
  ASSERT_TRUE(daemon->Ready()) << daemon->Output();
  EXPECT_TRUE(WaitFor([&] { return shim.Word(1, MgmtGetPortNames, 1028) == 2u; }));
  // The new orvalisd's port, seen through its page.
  PortHolderProcess holder(
      [&] { return OpenWithSettings(root.Path() + "/dosdevices/com21", B9600, false, ""); });
  ASSERT_TRUE(holder.Held());
  const auto status = shim.PortRecordOnce(1, MgmtGetPortStatus, 1,
                                          [](const std::uint8_t* r) { return GetU32(r, 0) != 1; });
  EXPECT_NE(GetU32(status.data(), 0), 1u);
}

}  // namespace
}  // namespace orvalisd::test
