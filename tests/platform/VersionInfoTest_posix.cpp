#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ElfSections.h"
#include "platform/Modules.h"
#include "platform/VersionInfo.h"

using namespace platform;

namespace {

std::vector<char> ProgramBytes() {
  std::ifstream in(ProgramFilePath(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct DamagedFile {
  const char* name;
  std::size_t keep;  // bytes of the real program kept
  std::size_t at;    // offset to overwrite
  std::vector<char> with;
};

class DamagedElfFiles : public testing::TestWithParam<DamagedFile> {};

// A damaged file must give "no version block", never a crash or a read past its end.
TEST_P(DamagedElfFiles, HaveNoVersionBlock) {
  auto bytes = ProgramBytes();
  ASSERT_GT(bytes.size(), 0x40u);
  bytes.resize(std::min(bytes.size(), GetParam().keep));
  for (std::size_t i = 0; i < GetParam().with.size() && GetParam().at + i < bytes.size(); ++i)
    bytes[GetParam().at + i] = GetParam().with[i];
  const auto path =
      std::filesystem::temp_directory_path() / ("quor-damaged-elf-" + std::to_string(getpid()));
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_EQ(GetFileVersionInfoSize(path.string()), 0u);
  std::filesystem::remove(path);
}

const std::vector<char> kFar(8, '\x7f');

INSTANTIATE_TEST_SUITE_P(
    VersionInfo, DamagedElfFiles,
    testing::Values(DamagedFile{"Empty", 0, 0, {}}, DamagedFile{"HeaderOnly", 0x30, 0, {}},
                    DamagedFile{"NotElf", SIZE_MAX, 0, {'M', 'Z'}},
                    DamagedFile{"BigEndian", SIZE_MAX, 5, {2}},
                    DamagedFile{"SectionTableBeyondEnd", SIZE_MAX, 0x28, kFar},
                    DamagedFile{"HugeEntrySize", SIZE_MAX, 0x3A, {'\xff', '\x7f'}},
                    DamagedFile{"TruncatedTail", 4096, 0, {}}),
    [](const auto& info) { return info.param.name; });

TEST(VersionInfo, RoomTooSmallForTheBlockFails) {
  const std::uint32_t size = GetFileVersionInfoSize(ProgramFilePath());
  ASSERT_GT(size, 8u);
  std::vector<char> room(size - 1);
  EXPECT_FALSE(GetFileVersionInfo(ProgramFilePath(), size - 1, room.data()));
}

TEST(VersionInfo, QueryStaysInsideTheCopiedBlock) {
  const std::uint32_t size = GetFileVersionInfoSize(ProgramFilePath());
  std::vector<char> block(size + 64, 'x');  // no NUL after the block
  ASSERT_TRUE(GetFileVersionInfo(ProgramFilePath(), size, block.data()));
  EXPECT_FALSE(VerQueryValue(block.data(), "\\xxxx"));
}

}  // namespace
