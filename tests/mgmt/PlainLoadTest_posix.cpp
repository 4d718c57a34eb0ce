// The shipped library loaded plainly (dlopen), as a C program or Python's
// ctypes loads it: it has found its boards once, whoever loaded it, and a
// start it refused leaves every command failing.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "mgmt/MgmtCommand.h"
#include "platform/Modules.h"

namespace {

namespace fs = std::filesystem;
using namespace mgmt;

// The host root of one test: no host.json (a machine of no family), or one
// whose version record cannot be read, which makes the start fail.
class HostRootFolder {
 public:
  HostRootFolder() : path_(fs::temp_directory_path() / ("quor-plain-" + std::to_string(getpid()))) {
    fs::create_directories(path_);
    setenv("QUOR_HOST_ROOT", path_.c_str(), 1);
  }
  ~HostRootFolder() {
    unsetenv("QUOR_HOST_ROOT");
    fs::remove_all(path_);
  }
  void RefuseStart() const {
    std::ofstream(path_ / "host.json")
        << R"({"version": {"platform": 2, "major": 5, "minor": 1, "extendedRecord": false, )"
        << R"("plainRecord": false}})";
  }

 private:
  fs::path path_;
};

std::int32_t Word(void* library, std::uint32_t command, std::uint32_t& value) {
  auto entry = reinterpret_cast<MgmtCommandFunction>(dlsym(library, "MgmtCommand"));
  return entry ? entry(0, command, nullptr, 0, &value, sizeof value) : -1;
}

struct StartCase {
  const char* name;
  bool refused;
};

class PlainlyLoadedShim : public testing::TestWithParam<StartCase> {};

TEST_P(PlainlyLoadedShim, AnswersAsUnderOurLoader) {
  HostRootFolder root;
  if (GetParam().refused) root.RefuseStart();
  void* library = dlopen(platform::FindLibraryFile("QuorMgmt.DLL").c_str(), RTLD_NOW);
  ASSERT_NE(library, nullptr) << dlerror();
  std::uint32_t version = 0, boards = 7;
  const std::int32_t expected = GetParam().refused ? MgmtFailure : MgmtSuccess;
  EXPECT_EQ(Word(library, MgmtGetVersion, version), expected);
  EXPECT_EQ(Word(library, MgmtGetBoardCount, boards), expected);
  EXPECT_EQ(version, GetParam().refused ? 0u : kMgmtVersion);
  EXPECT_EQ(boards, GetParam().refused ? 7u : 0u);
  platform::HMODULE module = platform::LoadLibrary("QuorMgmt.DLL");
  EXPECT_EQ(module != nullptr, !GetParam().refused) << "our loader agrees with the plain load";
  if (module) platform::FreeLibrary(module);
  dlclose(library);
}

INSTANTIATE_TEST_SUITE_P(Starts, PlainlyLoadedShim,
                         testing::Values(StartCase{"Accepted", false}, StartCase{"Refused", true}),
                         [](const auto& info) { return info.param.name; });

TEST(PlainlyLoadedShimThenOurLoader, DoesNotStartAgain) {
  HostRootFolder root;
  void* library = dlopen(platform::FindLibraryFile("QuorMgmt.DLL").c_str(), RTLD_NOW);
  ASSERT_NE(library, nullptr) << dlerror();
  // A second start would now be refused.
  root.RefuseStart();
  platform::HMODULE module = platform::LoadLibrary("QuorMgmt.DLL");
  ASSERT_NE(module, nullptr);
  std::uint32_t version = 0;
  EXPECT_EQ(Word(module, MgmtGetVersion, version), MgmtSuccess);
  platform::FreeLibrary(module);
  dlclose(library);
}

}  // namespace
