#include <gtest/gtest.h>

#include "mgmt/BoardList.h"
#include "mgmt/host/model/HostModel.h"

namespace mgmt {
namespace {

std::unique_ptr<BoardRecord> Named(const std::string& name) {
  auto record = std::make_unique<BoardRecord>();
  record->description = name;
  return record;
}

TEST(BoardList, NewestFirstAndOnlyWhileValid) {
  BoardList list;
  list.InsertAtHead(Named("A"));
  list.InsertAtHead(Named("B"));
  list.InsertAtHead(Named("C"));
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.LookUp(1), nullptr) << "a list not yet valid gives no record";

  list.SetValid(true);
  EXPECT_EQ(*list.LookUp(1)->description, "C");
  EXPECT_EQ(*list.LookUp(2)->description, "B");
  EXPECT_EQ(*list.LookUp(3)->description, "A");
  EXPECT_EQ(list.LookUp(4), nullptr);
  EXPECT_EQ(list.LookUp(0), nullptr);
  EXPECT_EQ(list.LookUp(-1), nullptr);

  list.SetValid(false);
  EXPECT_EQ(list.LookUp(1), nullptr);
  EXPECT_EQ(list.Count(), 3u) << "clearing the valid bit removes nothing";
}

TEST(BoardList, ReleasesALongChainWithoutRecursing) {
  BoardList list;
  for (int i = 0; i < 200000; ++i) list.InsertAtHead(std::make_unique<BoardRecord>());
  EXPECT_EQ(list.Count(), 200000u);
}

struct VersionCase {
  const char* name;
  std::uint32_t platformId, major, minor;
  PlatformKind kind;
};

class PlatformKinds : public testing::TestWithParam<VersionCase> {};

TEST_P(PlatformKinds, KindAndOneFlag) {
  const auto& c = GetParam();
  ModelMachine machine;
  machine.version = {c.platformId, c.major, c.minor};
  HostModel host(machine);
  PlatformFlags flags;
  ASSERT_EQ(PlatformCheck(host, flags), MgmtSuccess);
  EXPECT_EQ(flags.kind, c.kind);
  const bool is9x = c.kind == PlatformKind::Win9x40 || c.kind == PlatformKind::Win9xLater;
  EXPECT_EQ(flags.is9x, is9x ? MgmtSuccess : MgmtFailure);
  EXPECT_EQ(flags.isNT4, c.kind == PlatformKind::NT4 ? MgmtSuccess : MgmtFailure);
  EXPECT_EQ(flags.isNT5, c.kind == PlatformKind::NT5 ? MgmtSuccess : MgmtFailure);
}

INSTANTIATE_TEST_SUITE_P(
    VersionRecords, PlatformKinds,
    testing::Values(VersionCase{"Win9x_4_0", 1, 4, 0, PlatformKind::Win9x40},
                    VersionCase{"Win9x_3_95", 1, 3, 95, PlatformKind::Win9x40},
                    VersionCase{"Win9x_4_10", 1, 4, 10, PlatformKind::Win9xLater},
                    VersionCase{"Win9x_4_90", 1, 4, 90, PlatformKind::Win9xLater},
                    VersionCase{"Win9x_5_0", 1, 5, 0, PlatformKind::Win9xLater},
                    VersionCase{"NT_3_51", 2, 3, 51, PlatformKind::NT4},
                    VersionCase{"NT_4_0", 2, 4, 0, PlatformKind::NT4},
                    VersionCase{"NT_5_0", 2, 5, 0, PlatformKind::NT5},
                    VersionCase{"NT_5_1", 2, 5, 1, PlatformKind::NT5},
                    VersionCase{"NT_6_0", 2, 6, 0, PlatformKind::None},
                    VersionCase{"Win32s", 0, 3, 1, PlatformKind::None}),
    [](const auto& info) { return std::string(info.param.name); });

struct RecordCase {
  const char* name;
  bool extended, plain;
  MgmtResult result;
  std::vector<std::uint32_t> asked;
};

class VersionRecordRefusals : public testing::TestWithParam<RecordCase> {};

TEST_P(VersionRecordRefusals, ExtendedThenPlain) {
  const auto& c = GetParam();
  ModelMachine machine;
  machine.version = {kVerPlatformWin32NT, 5, 1, c.extended, c.plain};
  HostModel host(machine);
  PlatformFlags flags;
  EXPECT_EQ(PlatformCheck(host, flags), c.result);
  EXPECT_EQ(host.Log().versionRecordSizes, c.asked);
  EXPECT_EQ(flags.kind, c.result == MgmtSuccess ? PlatformKind::NT5 : PlatformKind::None);
}

INSTANTIATE_TEST_SUITE_P(
    Records, VersionRecordRefusals,
    testing::Values(RecordCase{"ExtendedAccepted", true, false, MgmtSuccess, {156}},
                    RecordCase{"PlainAfterRefusal", false, true, MgmtSuccess, {156, 148}},
                    RecordCase{"BothRefused", false, false, MgmtFailure, {156, 148}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mgmt
