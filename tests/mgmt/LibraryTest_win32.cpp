// quormgmt.dll loaded the way the program loads it, on Windows (wine in CI,
// where no boards are installed).
#include <gtest/gtest.h>

#include <array>

#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"
#include "platform/Modules.h"

namespace mgmt {
namespace {

TEST(QuorMgmtDll, LoadsAndAnswersWithoutBoards) {
  platform::HMODULE module = platform::LoadLibrary("QuorMgmt.DLL");
  ASSERT_NE(module, nullptr);
  auto command =
      reinterpret_cast<MgmtCommandFunction>(platform::GetProcAddress(module, "MgmtCommand"));
  ASSERT_NE(command, nullptr);
  std::array<std::uint8_t, 1028> out{};
  ASSERT_EQ(command(0, MgmtGetVersion, nullptr, 0, out.data(), 4), MgmtSuccess);
  EXPECT_EQ(GetU32(out.data(), 0), 1u);
  ASSERT_EQ(command(0, MgmtGetBoardCount, nullptr, 0, out.data(), 4), MgmtSuccess);
  EXPECT_EQ(GetU32(out.data(), 0), 0u);
  EXPECT_EQ(command(1, MgmtGetPortNames, nullptr, 0, out.data(), 1028), MgmtFailure);
  EXPECT_EQ(command(0, MgmtGetVersion, nullptr, 0, nullptr, 4), MgmtFailure);
  EXPECT_EQ(platform::GetProcAddress(module, "DllMain"), nullptr);
  EXPECT_TRUE(platform::FreeLibrary(module));
}

}  // namespace
}  // namespace mgmt
