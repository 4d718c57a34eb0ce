#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/ComNamespace.h"
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

TEST(ComNamespace, LinkInDosdevicesWinsOverTheSerialDevice) {
  const fs::path root = fs::temp_directory_path() / ("quor-com-" + std::to_string(getpid()));
  fs::create_directories(root / "dosdevices");
  ScopedEnv env("QUOR_HOST_ROOT", root.c_str());
  fs::create_symlink("/dev/null", root / "dosdevices" / "com5");
  fs::create_symlink("/nonexistent/tty", root / "dosdevices" / "com6");  // dangling still counts

  EXPECT_EQ(ResolveComPath(5), (root / "dosdevices" / "com5").string());
  EXPECT_EQ(ResolveComPath(6), (root / "dosdevices" / "com6").string());
  EXPECT_EQ(ResolveComPath(1), "/dev/ttyS0");
  EXPECT_EQ(ResolveComPath(256), "/dev/ttyS255");
  fs::remove_all(root);
}

}  // namespace
