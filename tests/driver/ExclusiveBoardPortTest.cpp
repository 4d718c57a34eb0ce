// Opening a board port that another process holds, or held: the exclusive
// mark (TIOCEXCL) outlives a holder that died without clearing it, because
// orvalisd keeps the line alive; root must not take that for a holder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "OrvalisdProcess.h"
#include "PortHolderProcess.h"
#include "platform/comm/CommDevice.h"

namespace orvalisd::test {
namespace {

struct HolderCase {
  const char* name;
  bool marksExclusive;  // TIOCEXCL, never cleared
  bool locks;           // flock
  bool staysAlive;
  bool busy;
};

// Another process that opens the port as the case says and then either holds
// it until the object goes or lets go at once.
std::unique_ptr<PortHolderProcess> HoldPort(const std::string& path, const HolderCase& c) {
  auto holder = std::make_unique<PortHolderProcess>([&] {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return fd >= 0 && (!c.marksExclusive || ioctl(fd, TIOCEXCL) == 0) &&
           (!c.locks || flock(fd, LOCK_EX | LOCK_NB) == 0);
  });
  if (!c.staysAlive) holder->Release();
  return holder;
}

class ExclusiveBoardPort : public testing::TestWithParam<HolderCase> {};

TEST_P(ExclusiveBoardPort, IsBusyOnlyWhileSomeoneHoldsIt) {
  const auto& c = GetParam();
  if (geteuid() != 0) GTEST_SKIP() << "only root opens a port past its exclusive mark";
  TempRoot root;
  OrvalisdProcess daemon(root.Path(), {"--board", "1", "--first-com", "3"});
  ASSERT_TRUE(daemon.Ready()) << daemon.Output();
  setenv("QUOR_HOST_ROOT", root.Path().c_str(), 1);
  {
    const auto holder = HoldPort(root.Path() + "/dosdevices/com3", c);
    ASSERT_TRUE(holder->Held());
    std::uint32_t error = platform::kErrorSuccess;
    auto device = platform::OpenCommDevice("\\\\.\\COM3", error);
    EXPECT_EQ(device == nullptr, c.busy);
    EXPECT_EQ(error, c.busy ? platform::kErrorAccessDenied : platform::kErrorSuccess);
  }
  // Whoever had it has let go (a live marker too, without clearing its mark).
  std::uint32_t error = platform::kErrorSuccess;
  EXPECT_NE(platform::OpenCommDevice("\\\\.\\COM3", error), nullptr) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Holders, ExclusiveBoardPort,
    testing::Values(HolderCase{"ClosedPlainly", false, false, false, false},
                    HolderCase{"MarkLeftByAHolderThatDied", true, false, false, false},
                    HolderCase{"MarkedByALiveHolder", true, false, true, true},
                    HolderCase{"LockedByALiveHolder", false, true, true, true},
                    HolderCase{"HeldWithoutMarkOrLock", false, false, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvalisd::test
