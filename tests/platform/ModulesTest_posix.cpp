// The loader on Linux: a library attaches whoever loads it, and bare names
// find runtime names and the library folder of an installation.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ModuleLog.h"
#include "platform/Modules.h"

using namespace platform;
using platform_test::ModuleLog;
namespace fs = std::filesystem;

namespace {

TEST(PlainLoads, DlopenAttachesAndDlcloseDetaches) {
  ModuleLog log;
  void* module = dlopen(FindLibraryFile("ModAttach.DLL").c_str(), RTLD_NOW);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(log.Text(), "attach\n");
  dlclose(module);
  EXPECT_EQ(log.Text(), "attach\ndetach\n");
}

TEST(PlainLoads, LoadLibraryOverAPlainLoadDoesNotAttachAgain) {
  ModuleLog log;
  void* plain = dlopen(FindLibraryFile("ModAttach.DLL").c_str(), RTLD_NOW);
  ASSERT_NE(plain, nullptr);
  HMODULE module = LoadLibrary("ModAttach.DLL");
  EXPECT_EQ(module, plain);
  EXPECT_EQ(log.Text(), "attach\n");
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(log.Text(), "attach\ndetach\n");
  dlclose(plain);
  EXPECT_EQ(log.Text(), "attach\ndetach\n") << "told to detach once";
}

TEST(PlainLoads, RefusedAttachStillFailsLoadLibrary) {
  ModuleLog log;
  void* plain = dlopen(FindLibraryFile("ModRefuse.DLL").c_str(), RTLD_NOW);
  ASSERT_NE(plain, nullptr) << "dlopen cannot refuse";
  EXPECT_EQ(LoadLibrary("ModRefuse.DLL"), nullptr);
  EXPECT_EQ(log.Text(), "attach\ndetach\n");
  dlclose(plain);
  EXPECT_EQ(log.Text(), "attach\ndetach\n");
}

// A folder of library files, searched through LD_LIBRARY_PATH for one test.
class LibraryFolder {
 public:
  LibraryFolder() : path_(fs::temp_directory_path() / ("quor-libs-" + std::to_string(getpid()))) {
    fs::create_directories(path_);
    if (const char* old = std::getenv("LD_LIBRARY_PATH")) old_ = old;
    setenv("LD_LIBRARY_PATH", path_.c_str(), 1);
  }
  ~LibraryFolder() {
    old_ ? setenv("LD_LIBRARY_PATH", old_->c_str(), 1) : unsetenv("LD_LIBRARY_PATH");
    fs::remove_all(path_);
  }
  // A copy of the probe library under name.
  void Add(const std::string& name) const {
    fs::copy_file(FindLibraryFile("ModAttach.DLL"), path_ / name);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
  std::optional<std::string> old_;
};

struct SearchCase {
  const char* name;
  std::vector<std::string> files;
  const char* found;  // nullptr: none
};

class RuntimeNames : public testing::TestWithParam<SearchCase> {};

TEST_P(RuntimeNames, AreFoundAfterTheMappedName) {
  LibraryFolder folder;
  for (const auto& file : GetParam().files) folder.Add(file);
  const std::string found = FindLibraryFile("SearchProbe.DLL");
  if (!GetParam().found) {
    EXPECT_EQ(found, "");
    EXPECT_EQ(LoadLibrary("SearchProbe.DLL"), nullptr);
    return;
  }
  EXPECT_EQ(found, (folder.Path() / GetParam().found).string());
  HMODULE module = LoadLibrary("SearchProbe.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(reinterpret_cast<int (*)()>(GetProcAddress(module, "ModuleProbe"))(), 42);
  FreeLibrary(module);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, RuntimeNames,
    testing::Values(SearchCase{"DevelopmentLink", {"libsearchprobe.so"}, "libsearchprobe.so"},
                    SearchCase{"RuntimeNameOnly", {"libsearchprobe.so.1"}, "libsearchprobe.so.1"},
                    SearchCase{"BothPreferTheMappedName",
                               {"libsearchprobe.so.1", "libsearchprobe.so"},
                               "libsearchprobe.so"},
                    SearchCase{"OtherInterfaceVersion", {"libsearchprobe.so.2"}, nullptr},
                    SearchCase{"FullVersionOnly", {"libsearchprobe.so.1.0.0"}, nullptr}),
    [](const auto& info) { return info.param.name; });

// An installed program (.../bin/harbex) finds the library of its installation
// (.../lib/<multiarch>/libquormgmt.so.1) without LD_LIBRARY_PATH.
TEST(Modules, FindsTheLibraryFolderOfTheInstallation) {
  const fs::path programFolder = fs::path(ProgramFilePath()).parent_path();
  const fs::path libraryFolder = (programFolder / QUOR_LIBDIR_FROM_BINDIR).lexically_normal();
  ASSERT_NE(libraryFolder, programFolder);
  fs::path made = libraryFolder;  // the outermost folder this test makes
  while (!fs::exists(made.parent_path())) made = made.parent_path();
  if (fs::exists(made)) made.clear();
  fs::create_directories(libraryFolder);
  const std::string name = "libinstalledprobe" + std::to_string(getpid());
  const fs::path file = libraryFolder / (name + ".so.1");
  fs::copy_file(FindLibraryFile("ModAttach.DLL"), file);
  EXPECT_EQ(FindLibraryFile(name.substr(3) + ".dll"), file.string());
  fs::remove(file);
  if (!made.empty()) fs::remove_all(made);
}

}  // namespace
