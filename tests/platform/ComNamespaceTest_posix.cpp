#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "platform/ComNamespace_posix.h"
#include "platform/HostRoot.h"

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

// A fake machine: a host root with dosdevices/ and a system root with dev/.
class FakeMachine {
 public:
  FakeMachine() : root_(fs::temp_directory_path() / ("quor-com-" + std::to_string(getpid()))) {
    fs::create_directories(root_ / "host/dosdevices");
    fs::create_directories(root_ / "system/dev");
  }
  ~FakeMachine() { fs::remove_all(root_); }
  std::string Host() const { return (root_ / "host").string(); }
  std::string System() const { return (root_ / "system").string(); }
  std::string Node(const std::string& name) const { return System() + "/dev/" + name; }
  std::string Link(int n) const { return Host() + "/dosdevices/com" + std::to_string(n); }
  // Nodes named family0 ... family<count - 1>.
  void AddNodes(const std::string& family, int count, int first = 0) const {
    for (int i = first; i < first + count; ++i) std::ofstream(Node(family + std::to_string(i)));
  }

 private:
  fs::path root_;
};

struct NumberingCase {
  const char* name;
  std::function<void(const FakeMachine&)> build;
  // COM n -> the path it gets (Node(...) or Link(n)); every other n none.
  std::function<std::map<int, std::string>(const FakeMachine&)> expected;
};

class ComNumbering : public testing::TestWithParam<NumberingCase> {};

TEST_P(ComNumbering, FollowsWine) {
  FakeMachine machine;
  GetParam().build(machine);
  const auto paths = NumberComDevices(machine.System(), machine.Host());
  ASSERT_EQ(paths.size(), std::size_t(kMaxComNumber + 1));
  const auto expected = GetParam().expected(machine);
  for (int n = 0; n <= kMaxComNumber; ++n) {
    auto it = expected.find(n);
    EXPECT_EQ(paths[std::size_t(n)], it == expected.end() ? "" : it->second) << "COM" << n;
  }
}

std::map<int, std::string> Nodes(const FakeMachine& m, const std::string& family, int first,
                                 int count, std::map<int, std::string> more = {}) {
  for (int i = 0; i < count; ++i) more[first + i] = m.Node(family + std::to_string(i));
  return more;
}

INSTANTIATE_TEST_SUITE_P(
    ComNamespace, ComNumbering,
    testing::Values(
        NumberingCase{
            "UsbAdaptersAfterThirtyTwoSerialPorts",
            [](const FakeMachine& m) {
              m.AddNodes("ttyS", 32);
              m.AddNodes("ttyUSB", 2);
            },
            [](const FakeMachine& m) {
              return Nodes(m, "ttyS", 1, 32, {{33, m.Node("ttyUSB0")}, {34, m.Node("ttyUSB1")}});
            }},
        NumberingCase{"LinksKeepTheirNumbersDevicesTakeTheLowestFree",
                      [](const FakeMachine& m) {
                        fs::create_symlink("/nonexistent/tty", m.Link(2));  // dangling
                        fs::create_symlink("/dev/null", m.Link(3));         // not a terminal
                        m.AddNodes("ttyS", 2);
                        m.AddNodes("ttyACM", 1);
                      },
                      [](const FakeMachine& m) {
                        return std::map<int, std::string>{{1, m.Node("ttyS0")},
                                                          {2, m.Link(2)},
                                                          {3, m.Link(3)},
                                                          {4, m.Node("ttyS1")},
                                                          {5, m.Node("ttyACM0")}};
                      }},
        NumberingCase{
            "EachFamilyEndsAtItsFirstMissingNode",
            [](const FakeMachine& m) {
              m.AddNodes("ttyS", 1);
              m.AddNodes("ttyS", 1, 2);
              m.AddNodes("ttyUSB", 1, 1);
              fs::create_symlink(m.Node("ttyS0"), m.Node("ttyACM0"));  // a link counts
              fs::create_symlink(m.Node("missing"), m.Node("ttyACM1"));
            },
            [](const FakeMachine& m) {
              return std::map<int, std::string>{{1, m.Node("ttyS0")}, {2, m.Node("ttyACM0")}};
            }},
        NumberingCase{"APinnedDeviceIsNotNumberedTwice",
                      [](const FakeMachine& m) {
                        fs::create_symlink("/dev/null", m.Node("ttyUSB0"));
                        fs::create_symlink(m.Node("ttyUSB0"), m.Link(7));
                        m.AddNodes("ttyUSB", 1, 1);
                      },
                      [](const FakeMachine& m) {
                        return std::map<int, std::string>{{7, m.Link(7)}, {1, m.Node("ttyUSB1")}};
                      }},
        NumberingCase{"NoNumberAbove256",
                      [](const FakeMachine& m) {
                        m.AddNodes("ttyS", 300);
                        m.AddNodes("ttyUSB", 1);
                      },
                      [](const FakeMachine& m) { return Nodes(m, "ttyS", 1, 256); }}),
    [](const auto& info) { return info.param.name; });

TEST(ComNamespace, ResolvesLinksAtOnceAndNumbersTheRestOnce) {
  FakeMachine machine;
  machine.AddNodes("ttyS", 1);
  ScopedEnv env("QUOR_HOST_ROOT", machine.Host().c_str());
  SetSystemRoot(machine.System());
  EXPECT_EQ(ResolveComPath(1), machine.Node("ttyS0"));
  EXPECT_EQ(ResolveComPath(2), "");
  // A link made later wins at once; a node made later waits for a new start.
  fs::create_symlink("/dev/null", machine.Link(1));
  machine.AddNodes("ttyS", 1, 1);
  EXPECT_EQ(ResolveComPath(1), machine.Link(1));
  EXPECT_EQ(ResolveComPath(2), "");
  EXPECT_EQ(ResolveComPath(kMaxComNumber + 1), "");
  SetSystemRoot("");
}

}  // namespace
