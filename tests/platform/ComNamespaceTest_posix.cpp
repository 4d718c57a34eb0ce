#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/ComNamespace_posix.h"
#include "platform/HostRoot.h"
#include "tests/support/FakeSystem.h"
#include "tests/support/PtyPort.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// Sets or clears an environment variable for one test and restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct RootCase {
  const char* name;
  const char* hostRoot;
  const char* runtimeDir;
  std::string expected;
};

class HostRoots : public testing::TestWithParam<RootCase> {};

TEST_P(HostRoots, FollowTheEnvironment) {
  ScopedEnv root("QUOR_HOST_ROOT", GetParam().hostRoot);
  ScopedEnv runtime("XDG_RUNTIME_DIR", GetParam().runtimeDir);
  EXPECT_EQ(HostRoot(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ComNamespace, HostRoots,
    testing::Values(RootCase{"Explicit", "/srv/q", "/run/user/7", "/srv/q"},
                    RootCase{"EmptyExplicit", "", "/run/user/7", "/run/user/7/quor"},
                    RootCase{"Runtime", nullptr, "/run/user/7", "/run/user/7/quor"},
                    RootCase{"Fallback", nullptr, nullptr, "/tmp/quor-" + std::to_string(getuid())},
                    RootCase{"EmptyRuntime", nullptr, "", "/tmp/quor-" + std::to_string(getuid())}),
    [](const auto& info) { return info.param.name; });

// A fake machine: nodes in a fake system root, links in a host root.
struct FakeMachine {
  support::ScopedHostRoot host;
  support::FakeSystem system;
  std::string Node(const std::string& name) const { return system.Root() + "/dev/" + name; }
  std::string Link(int n) const { return host.Path() + "/dosdevices/com" + std::to_string(n); }
  void AddNodes(const std::string& family, int count, int first = 0) const {
    for (int i = first; i < first + count; ++i) std::ofstream(Node(family + std::to_string(i)));
  }
};

// "n=ttyS0" per numbered node, "n=link" per link, from COM1 up.
std::string Numbers(const FakeMachine& m, const std::vector<std::string>& paths) {
  std::string text;
  for (std::size_t n = 1; n < paths.size(); ++n) {
    if (paths[n].empty()) continue;
    const bool link = paths[n] == m.Link(int(n));
    text +=
        std::to_string(n) + "=" + (link ? "link" : fs::path(paths[n]).filename().string()) + " ";
  }
  return text;
}

std::string Range(const char* family, int first, int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += std::to_string(first + i) + "=" + family + std::to_string(i) + " ";
  return text;
}

struct NumberingCase {
  const char* name;
  void (*build)(const FakeMachine&);
  std::string numbers;
};

class ComNumbering : public testing::TestWithParam<NumberingCase> {};

TEST_P(ComNumbering, FollowsWine) {
  FakeMachine machine;
  GetParam().build(machine);
  const auto paths = NumberComDevices(machine.system.Root(), machine.host.Path());
  ASSERT_EQ(paths.size(), std::size_t(kMaxComNumber + 1));
  EXPECT_EQ(Numbers(machine, paths), GetParam().numbers);
}

INSTANTIATE_TEST_SUITE_P(
    ComNamespace, ComNumbering,
    testing::Values(NumberingCase{"UsbAdaptersAfterThirtyTwoSerialPorts",
                                  [](const FakeMachine& m) {
                                    m.AddNodes("ttyS", 32);
                                    m.AddNodes("ttyUSB", 2);
                                  },
                                  Range("ttyS", 1, 32) + "33=ttyUSB0 34=ttyUSB1 "},
                    NumberingCase{"LinksKeepTheirNumbersDevicesTakeTheLowestFree",
                                  [](const FakeMachine& m) {
                                    fs::create_symlink("/nonexistent/tty", m.Link(2));  // dangling
                                    fs::create_symlink("/dev/null", m.Link(3));  // not a terminal
                                    m.AddNodes("ttyS", 2);
                                    m.AddNodes("ttyACM", 1);
                                  },
                                  "1=ttyS0 2=link 3=link 4=ttyS1 5=ttyACM0 "},
                    NumberingCase{"EachFamilyEndsAtItsFirstMissingNodeAndLinksCount",
                                  [](const FakeMachine& m) {
                                    m.AddNodes("ttyS", 1);
                                    m.AddNodes("ttyS", 1, 2);
                                    m.AddNodes("ttyUSB", 1, 1);
                                    fs::create_symlink(m.Node("ttyS0"), m.Node("ttyACM0"));
                                    fs::create_symlink(m.Node("missing"), m.Node("ttyACM1"));
                                  },
                                  "1=ttyS0 2=ttyACM0 "},
                    NumberingCase{"APinnedDeviceIsNotNumberedTwice",
                                  [](const FakeMachine& m) {
                                    fs::create_symlink("/dev/null", m.Node("ttyUSB0"));
                                    fs::create_symlink(m.Node("ttyUSB0"), m.Link(7));
                                    m.AddNodes("ttyUSB", 1, 1);
                                  },
                                  "1=ttyUSB1 7=link "},
                    NumberingCase{"NoNumberAbove256",
                                  [](const FakeMachine& m) {
                                    m.AddNodes("ttyS", 300);
                                    m.AddNodes("ttyUSB", 1);
                                  },
                                  Range("ttyS", 1, 256)}),
    [](const auto& info) { return info.param.name; });

TEST(ComNamespace, ResolvesLinksAtOnceAndNumbersTheRestOnce) {
  FakeMachine machine;
  machine.AddNodes("ttyS", 1);
  EXPECT_EQ(ResolveComPath(1), machine.Node("ttyS0"));
  EXPECT_EQ(ResolveComPath(2), "");
  // A link made later wins at once; a node made later waits for a new start.
  fs::create_symlink("/dev/null", machine.Link(1));
  machine.AddNodes("ttyS", 1, 1);
  EXPECT_EQ(ResolveComPath(1), machine.Link(1));
  EXPECT_EQ(ResolveComPath(2), "");
  EXPECT_EQ(ResolveComPath(kMaxComNumber + 1), "");
}

}  // namespace
