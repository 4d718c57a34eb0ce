#include <gtest/gtest.h>

#include "ModelBoards.h"
#include "mgmt/Shim.h"
#include "mgmt/host/model/ModelJson.h"

namespace mgmt {
namespace {

// Whatever a machine holds survives the trip through JSON: the walks find
// the same boards in the copy.
TEST(ModelJson, RoundTripKeepsWhatTheWalksRead) {
  for (auto make : {+[] { return test::MakeNT5Setup(2); },
                    +[] {
                      return test::MakeNT4Setup({2, 7});
                    },
                    +[] { return test::Make9xSetup(3); }}) {
    test::ModelSetup setup = make();
    setup.machine.setupApiMissing = {"Nothing"};
    setup.machine.version.plainRecord = false;
    setup.machine.devices.push_back({"\\\\.\\Orvalis1", "board1.sock"});
    const std::string json = WriteMachineJson(setup.machine);
    test::ModelSetup copy = setup;
    copy.machine = ReadMachineJson(json);
    EXPECT_EQ(WriteMachineJson(copy.machine), json);
    auto original = setup.MakeHost();
    auto reread = copy.MakeHost();
    Shim a(*original), b(*reread);
    ASSERT_EQ(AttachShim(a), MgmtSuccess);
    ASSERT_EQ(AttachShim(b), MgmtSuccess);
    EXPECT_GT(b.boardList.Count(), 0u);
    EXPECT_EQ(a.boardList.Count(), b.boardList.Count());
    EXPECT_EQ(a.boardList.LookUp(1)->description, b.boardList.LookUp(1)->description);
  }
}

struct DamagedCase {
  const char* name;
  std::string json;
  std::uint32_t platformId;
  std::size_t interfaces;
  std::size_t registryKeys;
};

class DamagedJson : public testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedJson, KeepsWhatIsValid) {
  const auto& c = GetParam();
  const ModelMachine machine = ReadMachineJson(c.json);
  EXPECT_EQ(machine.version.platformId, c.platformId);
  EXPECT_EQ(machine.interfaces.size(), c.interfaces);
  EXPECT_EQ(machine.localMachine.subKeys.size(), c.registryKeys);
}

std::string Nested(int depth) {
  return std::string(static_cast<std::size_t>(depth), '[') +
         std::string(static_cast<std::size_t>(depth), ']');
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DamagedJson,
    testing::Values(
        DamagedCase{"Empty", "", 0, 0, 0},
        DamagedCase{"NotJson", "{\"version\": {\"platform\": 2", 0, 0, 0},
        DamagedCase{"NotAnObject", "[1, 2, 3]", 0, 0, 0},
        DamagedCase{"WrongTypes", R"({"version": "5.1", "interfaces": {"a": 1}, "registry": []})",
                    0, 0, 0},
        DamagedCase{"NegativeVersion", R"({"version": {"platform": -2, "major": 5}})", 0, 0, 0},
        DamagedCase{
            "BadInterfaceSkipped",
            R"({"version": {"platform": 2, "major": 5}, "interfaces": [{"class": 1}, {"class": "{A}", "path": "p"}, 7]})",
            2, 1, 0},
        DamagedCase{
            "BadKeysSkipped",
            R"({"registry": {"keys": [{"name": "A"}, {"name": "a"}, {"name": "B\\C"}, {"name": ""}, {"keys": 5}, 3]}})",
            0, 0, 1},
        DamagedCase{"DeepNestingRefused",
                    "{\"version\": {\"platform\": 2}, \"x\": " + Nested(100000) + "}", 0, 0, 0},
        DamagedCase{"DeepRegistryCut",
                    [] {
                      std::string key = R"({"name": "K"})";
                      for (int i = 0; i < 40; ++i) key = R"({"name": "K", "keys": [)" + key + "]}";
                      return R"({"registry": {"keys": [)" + key + "]}}";
                    }(),
                    0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mgmt
