#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>

#include "ModelBoards.h"
#include "mgmt/Shim.h"

namespace mgmt {
namespace {

std::vector<std::string> Descriptions(const Shim& shim) {
  std::vector<std::string> names;
  for (std::uint32_t n = 1; n <= shim.boardList.Count(); ++n) {
    const BoardRecord* record = shim.boardList.LookUp(static_cast<std::int32_t>(n));
    names.push_back(record->description.value_or("<none>"));
  }
  return names;
}

long CountOf(const std::vector<std::string>& list, const std::string& item) {
  return std::count(list.begin(), list.end(), item);
}

// A walk ended by the nth call of one kind failing.
struct EndCase {
  const char* name;
  const char* call;
  int nth;
  std::vector<std::string> boards;  // board 1 first
};

struct FamilyWalk {
  std::function<test::ModelSetup()> setup;
};

class WalkEnds : public testing::TestWithParam<std::tuple<FamilyWalk, EndCase>> {};

TEST_P(WalkEnds, KeepsTheBoardsFoundBefore) {
  const auto& [family, c] = GetParam();
  test::ModelSetup setup = family.setup();
  auto host = setup.MakeHost();
  if (c.call[0]) host->FailCall(c.call, c.nth);
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess) << "discovery failures never refuse the load";
  EXPECT_EQ(Descriptions(shim), c.boards);
  EXPECT_EQ(host->Log().openKeys, 0) << "every registry key opened was closed";
  EXPECT_EQ(host->Log().setupApiLoads, host->Log().setupApiFrees);
}

std::string Name(const testing::TestParamInfo<std::tuple<FamilyWalk, EndCase>>& info) {
  return std::get<1>(info.param).name;
}

const FamilyWalk kNT5{[] { return test::MakeNT5Setup(3); }};
INSTANTIATE_TEST_SUITE_P(
    NT5, WalkEnds,
    testing::Combine(
        testing::Values(kNT5),
        testing::Values(
            EndCase{"AllFound", "", 0, {"Board 3", "Board 2", "Board 1"}},
            EndCase{"ClassDevsRefused", "SetupDiGetClassDevs", 1, {}},
            EndCase{"EnumerationEndsAtSecond", "SetupDiEnumDeviceInterfaces", 2, {"Board 1"}},
            EndCase{"DetailSizeRefused", "SetupDiGetDeviceInterfaceDetail", 3, {"Board 1"}},
            EndCase{"DetailRefused", "SetupDiGetDeviceInterfaceDetail", 4, {"Board 1"}},
            EndCase{"WindowsDirectoryRefused", "GetWindowsDirectory", 2, {"Board 1"}},
            EndCase{"ServiceUnreadable", "SetupDiGetDeviceRegistryProperty", 3, {"Board 1"}},
            EndCase{"DescriptionUnreadableKeepsGoing",
                    "SetupDiGetDeviceRegistryProperty",
                    4,
                    {"Board 3", "<none>", "Board 1"}},
            EndCase{"VersionSizeRefused", "GetFileVersionInfoSize", 3, {"Board 2", "Board 1"}},
            EndCase{"VersionBlockRefused", "GetFileVersionInfo", 2, {"Board 1"}},
            EndCase{"VersionKeyMissing", "VerQueryValue", 1, {}},
            EndCase{"DeviceOpenRefused", "CreateFile", 2, {"Board 1"}},
            EndCase{"BoardInfoRefused", "DeviceIoControl", 3, {"Board 2", "Board 1"}})),
    Name);

// Boards at device numbers 1, 3 and 5. CreateFile calls: probe 1, open 1,
// probe 2 (nothing there), probe 3, open 3, probe 4, probe 5, open 5, ...
const FamilyWalk kNT4{[] { return test::MakeNT4Setup({1, 3, 5}); }};
INSTANTIATE_TEST_SUITE_P(
    NT4, WalkEnds,
    testing::Combine(
        testing::Values(kNT4),
        testing::Values(EndCase{"AllFound", "", 0, {"Board 5", "Board 3", "Board 1"}},
                        EndCase{"ProbeRefusedIsNoBoard", "CreateFile", 4, {"Board 5", "Board 1"}},
                        EndCase{"OpenRefused", "CreateFile", 8, {"Board 3", "Board 1"}},
                        EndCase{"RegistryPathRefused", "DeviceIoControl", 3, {"Board 1"}},
                        EndCase{"KeyMissing", "RegOpenKeyEx", 2, {"Board 1"}},
                        EndCase{"KeyInfoRefused", "RegQueryInfoKey", 2, {"Board 1"}},
                        EndCase{"DescriptionUnreadable", "RegQueryValueEx", 3, {"Board 1"}},
                        EndCase{"DriverNameUnreadable", "RegQueryValueEx", 4, {"Board 1"}},
                        EndCase{"WindowsDirectoryRefused", "GetWindowsDirectory", 2, {"Board 1"}},
                        EndCase{"NoVersionBlock", "GetFileVersionInfoSize", 2, {"Board 1"}},
                        EndCase{"BoardInfoRefused", "DeviceIoControl", 4, {"Board 1"}})),
    Name);

// Three instances of one board key, after a key of another vendor.
// RegOpenKeyEx calls: Enum\Pci, board key, class root, then per instance the
// instance key, its driver key and its first child.
const FamilyWalk k9x{[] { return test::Make9xSetup(3); }};
INSTANTIATE_TEST_SUITE_P(
    Win9x, WalkEnds,
    testing::Combine(
        testing::Values(k9x),
        testing::Values(EndCase{"AllFound", "", 0, {"Board 3", "Board 2", "Board 1"}},
                        EndCase{"PciRootMissing", "RegOpenKeyEx", 1, {}},
                        EndCase{"BoardKeyUnopened", "RegOpenKeyEx", 2, {}},
                        EndCase{"ClassRootMissing", "RegOpenKeyEx", 3, {}},
                        EndCase{"SecondInstanceUnopened", "RegOpenKeyEx", 7, {"Board 1"}},
                        EndCase{"SecondDriverKeyMissing", "RegOpenKeyEx", 8, {"Board 1"}},
                        EndCase{"SecondChildMissing", "RegOpenKeyEx", 9, {"Board 1"}},
                        EndCase{"DeviceKeyNameUnreadable", "RegEnumKeyEx", 1, {}},
                        EndCase{"SecondInstanceNameUnreadable", "RegEnumKeyEx", 4, {"Board 1"}},
                        EndCase{"RefreshFailureStillListed",
                                "DeviceIoControl",
                                2,
                                {"Board 3", "Board 2", "Board 1"}},
                        EndCase{"NoVersionStillListed",
                                "GetFileVersionInfoSize",
                                1,
                                {"Board 3", "Board 2", "Board 1"}})),
    Name);

// A driver whose answer cannot be allocated: the walk throws.
class OutOfMemoryDriver : public DeviceModel {
 public:
  bool Control(Handle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
               std::uint32_t&) override {
    throw std::bad_alloc();
  }
};

TEST(DiscoveryNT5, AWalkThatThrowsStillReleasesTheDeviceSetAndSetupApi) {
  auto setup = test::MakeNT5Setup(2);
  const std::string lastPath = setup.devices.back().first;
  setup.devices.pop_back();
  auto host = setup.MakeHost();
  host->AttachDevice(lastPath, std::make_shared<OutOfMemoryDriver>());
  Shim shim(*host);
  EXPECT_THROW(AttachShim(shim), std::bad_alloc);
  EXPECT_EQ(host->Log().deviceSetsDestroyed, 1);
  EXPECT_EQ(host->Log().setupApiFrees, 1);
}

TEST(DiscoveryNT5, SetupApiBoundWithItsFlagsAndReleased) {
  auto host = test::MakeNT5Setup(2).MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  EXPECT_EQ(host->Log().classDevsFlags, std::vector<std::uint32_t>{0x12});
  EXPECT_EQ(host->Log().setupApiLoads, 1);
  EXPECT_EQ(host->Log().setupApiFrees, 1);
  EXPECT_EQ(host->Log().deviceSetsDestroyed, 1);
  const BoardRecord* record = shim.boardList.LookUp(2);
  EXPECT_EQ(*record->driverName, "orvalis.sys");
  EXPECT_EQ(*record->driverFilePath, "C:\\WINDOWS\\System32\\Drivers\\orvalis.sys");
  EXPECT_EQ(*record->driverVersion, test::kNT5DriverVersion);
  EXPECT_EQ(record->portCount, 4u);
  EXPECT_EQ(record->boardInfoWord0, 0x101u);
}

class SetupApiMissing : public testing::TestWithParam<const char*> {};

// Any missing function ends discovery before a call through it.
TEST_P(SetupApiMissing, EndsDiscoveryAndUnloads) {
  test::ModelSetup setup = test::MakeNT5Setup(2);
  setup.machine.setupApiMissing = {GetParam()};
  auto host = setup.MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  EXPECT_EQ(shim.boardList.Count(), 0u);
  EXPECT_TRUE(host->Log().classDevsFlags.empty());
  EXPECT_EQ(host->Log().setupApiFrees, 1);
}

INSTANTIATE_TEST_SUITE_P(Functions, SetupApiMissing,
                         testing::Values("SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces",
                                         "SetupDiGetDeviceInterfaceDetailA",
                                         "SetupDiGetDeviceRegistryPropertyA",
                                         "SetupDiDestroyDeviceInfoList"));

TEST(DiscoveryNT5, NoSetupApiNoBoards) {
  test::ModelSetup setup = test::MakeNT5Setup(2);
  setup.machine.setupApi = false;
  auto host = setup.MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  EXPECT_EQ(shim.boardList.Count(), 0u);
  EXPECT_EQ(host->Log().setupApiFrees, 0);
}

TEST(DiscoveryNT4, ProbesOneToNineInHexAndOpensEachDeviceOnce) {
  auto host = test::MakeNT4Setup({1, 3}).MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  ASSERT_EQ(Descriptions(shim), (std::vector<std::string>{"Board 3", "Board 1"}));
  const auto& files = host->Log().createdFiles;
  for (int n = 1; n <= 9; ++n) EXPECT_GE(CountOf(files, "\\\\.\\Orvalis" + std::to_string(n)), 1);
  EXPECT_EQ(CountOf(files, "\\\\.\\Orvalisa"), 0);
  EXPECT_EQ(CountOf(files, "\\\\.\\Orvalis10"), 0);
  // The probe, then the one open that the refresh does not repeat.
  EXPECT_EQ(CountOf(files, "\\\\.\\Orvalis1"), 2);
  EXPECT_EQ(CountOf(host->Log().closedFiles, "\\\\.\\Orvalis1"), 1);
  const BoardRecord* record = shim.boardList.LookUp(1);
  EXPECT_EQ(*record->driverFilePath, "C:\\WINNT\\System32\\Drivers\\orvalis.sys");
  EXPECT_EQ(*record->driverVersion, test::kNT4DriverVersion);
}

TEST(DiscoveryNT4, DeviceNumbersAboveNineAreNeverTried) {
  test::ModelSetup setup = test::MakeNT4Setup({9});
  setup.devices.emplace_back("\\\\.\\Orvalisa", setup.devices.back().second);
  auto host = setup.MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  EXPECT_EQ(shim.boardList.Count(), 1u);
}

struct RegistryPathCase {
  const char* name;
  std::string registryPath;
  std::string longValue;  // put into the board's key
  std::uint32_t boards;
};

class NT4RegistryPaths : public testing::TestWithParam<RegistryPathCase> {};

TEST_P(NT4RegistryPaths, KeyFromTheFirstSystem) {
  const auto& c = GetParam();
  test::ModelSetup setup = test::MakeNT4Setup({1});
  ModelRegistryKey& key =
      EnsureKey(setup.machine.localMachine, "System\\CurrentControlSet\\Services\\Orvalis\\Board1");
  if (!c.longValue.empty()) SetValue(key, "Extra", c.longValue);
  auto driver = setup.devices[0].second;
  setup.devices[0].second = std::make_shared<test::ScriptedDriver>(
      std::vector<test::ScriptedBoard>{{0x201, 8, 3, "", c.registryPath}}, false);
  auto host = setup.MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  EXPECT_EQ(shim.boardList.Count(), c.boards);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NT4RegistryPaths,
    testing::Values(
        RegistryPathCase{
            "Usual", "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Orvalis\\Board1",
            "", 1},
        RegistryPathCase{"NoSystem", "\\Registry\\Machine\\SYSTEM\\CurrentControlSet", "", 0},
        RegistryPathCase{"FirstSystemIsNotAKey",
                         "System32\\System\\CurrentControlSet\\Services\\Orvalis\\Board1", "", 0},
        RegistryPathCase{"Value1024Fits", "System\\CurrentControlSet\\Services\\Orvalis\\Board1",
                         std::string(1023, 'x'), 1},
        RegistryPathCase{"Value1025TooLong", "System\\CurrentControlSet\\Services\\Orvalis\\Board1",
                         std::string(1024, 'x'), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Discovery9x, OpensAroundTheFirstPortAndSelectsBeforeEachRequest) {
  auto host = test::Make9xSetup(1).MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  EXPECT_EQ(host->Log().createdFiles,
            (std::vector<std::string>{"\\\\.\\COM10", "\\\\.\\ORVALIS.VXD", "\\\\.\\COM10"}));
  EXPECT_EQ(host->Log().closedFiles, (std::vector<std::string>{"\\\\.\\COM10", "\\\\.\\COM10"}));
  const auto& requests = host->Log().requests;
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, IOCTL_BOARD_SELECT);
  const std::string pciPath =
      "Pci\\VEN_7E3A&DEV_00B0&SUBSYS_00B07E3A&REV_01\\BUS_01&DEV_01&FUNC_00";
  EXPECT_EQ(requests[0].inputBytes, pciPath);
  EXPECT_EQ(requests[0].outputLength, 0u);
  EXPECT_EQ(requests[1].code, IOCTL_BOARD_GET_INFO);
  const BoardRecord* record = shim.boardList.LookUp(1);
  EXPECT_EQ(*record->pciPath, pciPath);
  EXPECT_EQ(*record->portPath, "\\\\.\\COM10");
  EXPECT_EQ(*record->driverName, "ORVALIS.VXD");
  EXPECT_EQ(*record->driverFilePath, "ORVALIS.VXD");
  EXPECT_EQ(*record->driverVersion, test::k9xDriverVersion);
  EXPECT_EQ(record->portCount, 2u);
}

TEST(Discovery9x, RefusedSelectNeverSendsTheRequest) {
  test::ModelSetup setup = test::Make9xSetup(2);
  setup.devices[0].second->refusedSelects.insert(
      "Pci\\VEN_7E3A&DEV_00B0&SUBSYS_00B07E3A&REV_01\\BUS_01&DEV_02&FUNC_00");
  auto host = setup.MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  ASSERT_EQ(shim.boardList.Count(), 2u) << "a board whose refresh failed is still listed";
  EXPECT_EQ(shim.boardList.LookUp(1)->portCount, 0u);
  const auto before = host->Log().requests.size();
  std::uint8_t names[1028];
  EXPECT_EQ(DispatchCommand(shim, 1, MgmtGetPortNames, nullptr, 0, names, 1028), MgmtFailure);
  ASSERT_EQ(host->Log().requests.size(), before + 1);
  EXPECT_EQ(host->Log().requests.back().code, IOCTL_BOARD_SELECT);
  EXPECT_EQ(DispatchCommand(shim, 2, MgmtGetPortNames, nullptr, 0, names, 1028), MgmtSuccess);
}

struct DeviceKeyCase {
  const char* name;
  std::string deviceKey;
  bool matches;
};

class BoardKeys : public testing::TestWithParam<DeviceKeyCase> {};

TEST_P(BoardKeys, HardwareIdentifiersAsSubstrings) {
  const auto& c = GetParam();
  ModelMachine machine;
  machine.version = {kVerPlatformWin32Windows, 4, 0};
  const std::string instance = "BUS_00&DEV_0A&FUNC_00";
  ModelRegistryKey& key =
      EnsureKey(machine.localMachine, "Enum\\Pci\\" + c.deviceKey + "\\" + instance);
  SetValue(key, "Driver", "MultiFunction\\0001");
  SetValue(key, "DeviceDesc", "Board");
  SetValue(EnsureKey(machine.localMachine,
                     "System\\CurrentControlSet\\Services\\Class\\MultiFunction\\0001"),
           "PortDriver", "ORVALIS.VXD");
  SetValue(
      EnsureKey(machine.localMachine, "Enum\\MF\\CHILD0000\\PCI&" + c.deviceKey + "&" + instance),
      "PortName", "COM7");
  HostModel host(machine);
  Shim shim(host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  EXPECT_EQ(shim.platform.kind, PlatformKind::Win9x40);
  EXPECT_EQ(shim.boardList.Count(), c.matches ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, BoardKeys,
    testing::Values(DeviceKeyCase{"Dev0028", "VEN_7E3A&DEV_0028", true},
                    DeviceKeyCase{"Dev0029", "VEN_7E3A&DEV_0029&SUBSYS_1", true},
                    DeviceKeyCase{"Dev0040", "VEN_7E3A&DEV_0040&REV_03", true},
                    DeviceKeyCase{"Dev00B0WithSuffix", "VEN_7E3A&DEV_00B0&SUBSYS_00B07E3A&REV_01",
                                  true},
                    DeviceKeyCase{"Dev00B1", "X_VEN_7E3A&DEV_00B1", true},
                    DeviceKeyCase{"OtherDevice", "VEN_7E3A&DEV_0030", false},
                    DeviceKeyCase{"OtherVendor", "VEN_8086&DEV_0028", false},
                    DeviceKeyCase{"LowerCase", "ven_7e3a&dev_0028", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Discovery, NoFamilyNoWalk) {
  test::ModelSetup setup = test::MakeNT5Setup(2);
  setup.machine.version = {kVerPlatformWin32NT, 6, 0};
  auto host = setup.MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  EXPECT_EQ(shim.boardList.Count(), 0u);
  EXPECT_EQ(host->Log().setupApiLoads, 0);
  EXPECT_TRUE(host->Log().createdFiles.empty());
}

TEST(Discovery, UnreadableVersionRefusesTheAttach) {
  test::ModelSetup setup = test::MakeNT5Setup(2);
  setup.machine.version.extendedRecord = false;
  setup.machine.version.plainRecord = false;
  auto host = setup.MakeHost();
  Shim shim(*host);
  EXPECT_EQ(AttachShim(shim), MgmtFailure);
  EXPECT_EQ(shim.boardList.Count(), 0u);
}

}  // namespace
}  // namespace mgmt
