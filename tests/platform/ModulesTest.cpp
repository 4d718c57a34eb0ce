#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ModuleLog.h"
#include "platform/Modules.h"

using namespace platform;
using platform_test::ModuleLog;

namespace {

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
