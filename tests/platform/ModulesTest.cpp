#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "platform/Modules.h"

using namespace platform;

namespace {

// Points the probe libraries' entry log at a fresh file for one test. The
// file is this process's own, as ctest runs the tests side by side.
class ModuleLog {
 public:
  ModuleLog()
      : path_(std::filesystem::temp_directory_path() /
              ("quor-module-log-" + std::to_string(ProcessId()) + ".txt")) {
    std::filesystem::remove(path_);
    Set(path_.string());
  }
  ~ModuleLog() {
    Set("");
    std::filesystem::remove(path_);
  }
  std::string Text() const {
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  static int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
  }
  static void Set(const std::string& value) {
#ifdef _WIN32
    _putenv_s("QUOR_MODULE_LOG", value.c_str());
#else
    setenv("QUOR_MODULE_LOG", value.c_str(), 1);
#endif
  }
  std::filesystem::path path_;
};

TEST(Modules, LoadsFromTheProgramFolderAndFindsExports) {
  ModuleLog log;
  HMODULE module = LoadLibrary("ModAttach.DLL");
  ASSERT_NE(module, nullptr);
  auto probe = reinterpret_cast<int (*)()>(GetProcAddress(module, "ModuleProbe"));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe(), 42);
  EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(log.Text(), "attach\ndetach\n");
}

TEST(Modules, AttachRunsOnceForNestedLoads) {
  ModuleLog log;
  HMODULE first = LoadLibrary("ModAttach.DLL");
  HMODULE second = LoadLibrary("modattach.dll");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_TRUE(FreeLibrary(second));
  EXPECT_EQ(log.Text(), "attach\n");
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(log.Text(), "attach\ndetach\n");
}

TEST(Modules, RefusedAttachFailsTheLoadAndReleasesTheLibrary) {
  ModuleLog log;
  EXPECT_EQ(LoadLibrary("ModRefuse.DLL"), nullptr);
  EXPECT_EQ(log.Text(), "attach\ndetach\n");
  // Released: a second try runs the attach again.
  EXPECT_EQ(LoadLibrary("ModRefuse.DLL"), nullptr);
  EXPECT_EQ(log.Text(), "attach\ndetach\nattach\ndetach\n");
}

TEST(Modules, MissingLibraryAndNullHandles) {
  EXPECT_EQ(LoadLibrary("NoSuchLibrary.DLL"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "ModuleProbe"), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_TRUE(FindLibraryFile("NoSuchLibrary.DLL").empty());
}

TEST(Modules, FindsTheLibraryFileBesideTheProgram) {
  const std::string file = FindLibraryFile("ModAttach.DLL");
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(std::filesystem::path(file).parent_path(),
            std::filesystem::path(ProgramFilePath()).parent_path());
}

}  // namespace
