// The binding and the device tree against scripted boards, loaded through the
// real binding.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QRegularExpression>

#include "PortHolderProcess.h"
#include "app/Board2.h"
#include "app/Port1.h"
#include "app/Port2.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/FakeCommPort.h"
#include "tests/support/FakeSystem.h"
#include "tests/support/PtyPort.h"

namespace app_test {
namespace {

using app::TMainForm;
using app::TNodeData;

ScriptedBoard Board(std::uint32_t portCount, std::vector<std::string> names,
                    std::string name = "Quor Octo") {
  ScriptedBoard board;
  board.portCount = portCount;
  board.name = std::move(name);
  board.driverVersion = "2.4.1";
  board.portNames = std::move(names);
  board.ports.resize(board.portNames.size());
  return board;
}

std::vector<std::string> ComNames(int first, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("COM" + std::to_string(first + i));
  return names;
}

struct BindingCase {
  const char* name;
  const char* library;
  std::uint32_t version;
  bool loaded;
};

class BindingTest : public testing::TestWithParam<BindingCase> {};

TEST_P(BindingTest, LoadsOnlyALibraryThatAnswersItsVersion) {
  ShimScript script;
  script.version = GetParam().version;
  ScriptedBinding binding(script, GetParam().library);
  EXPECT_EQ(app::MgmtLoaded, GetParam().loaded);
  EXPECT_EQ(app::MgmtLibraryHandle != nullptr, GetParam().loaded);
}

INSTANTIATE_TEST_SUITE_P(Cases, BindingTest,
                         testing::Values(BindingCase{"answers", "libscriptedshim.so", 1, true},
                                         BindingCase{"versionZero", "libscriptedshim.so", 0, false},
                                         BindingCase{"noExport", "libscriptedshim_noexport.so", 1,
                                                     false},
                                         BindingCase{"missing", "libnosuchshim.so", 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BindingMessage, IsShownAtMostOncePerRun) {
  int shown = 0;
  for (int i = 0; i < 2; ++i) {
    app::StartManagementBinding(
        [&](const char* text) {
          EXPECT_STREQ(text, "QuorMgmt.DLL was not properly loaded");
          ++shown;
        },
        TestLibrary("libnosuchshim.so"));
  }
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(app::MgmtLoaded);
}

struct TreeCase {
  const char* name;
  std::vector<ScriptedBoard> boards;
  QStringList boardLines;
  QString boardComList;
};

class DeviceTreeTest : public testing::TestWithParam<TreeCase> {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }
};

TEST_P(DeviceTreeTest, BuildsBoardsAndPortsAsTheLibraryAnswers) {
  ShimScript script;
  script.boards = GetParam().boards;
  ScriptedBinding binding(script);
  ASSERT_TRUE(app::MgmtLoaded);
  TMainForm form;
  EXPECT_EQ(BoardLines(form), GetParam().boardLines);
  EXPECT_EQ(form.BoardComList(), GetParam().boardComList);
}

ScriptedBoard Failing(ScriptedBoard board, bool ScriptedBoard::*what) {
  board.*what = true;
  return board;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceTreeTest,
    testing::Values(
        TreeCase{"twoPorts",
                 {Board(2, {"COM3", "COM4"})},
                 {"Quor Octo [-1]", "  Port 1 (COM3) [0]", "  Port 2 (COM4) [0]"},
                 ",3,,4,"},
        TreeCase{"sixtyFourPortsAccepted",
                 {Board(64, ComNames(10, 64))},
                 [] {
                   QStringList lines{"Quor Octo [-1]"};
                   for (int i = 1; i <= 64; ++i)
                     lines << QStringLiteral("  Port %1 (COM%2) [0]").arg(i).arg(9 + i);
                   return lines;
                 }(),
                 [] {
                   QString list;
                   for (int i = 10; i < 74; ++i) list += QStringLiteral(",%1,").arg(i);
                   return list;
                 }()},
        TreeCase{"sixtyFivePortsRefused", {Board(65, ComNames(10, 64))}, {"BoardName [-1]"}, ""},
        TreeCase{"summaryFails",
                 {Failing(Board(2, {"COM3", "COM4"}), &ScriptedBoard::summaryFails)},
                 {"BoardName [-1]"},
                 ""},
        TreeCase{"moreNamesThanPorts", {Board(1, {"COM3", "COM4"})}, {"Quor Octo [-1]"}, ""},
        TreeCase{"noNames", {Board(2, {})}, {"Quor Octo [-1]"}, ""},
        TreeCase{"namesFail",
                 {Failing(Board(2, {"COM3"}), &ScriptedBoard::namesFails)},
                 {"Quor Octo [-1]"},
                 ""},
        TreeCase{"nameFails",
                 {Failing(Board(4, {"COM3"}), &ScriptedBoard::nameFails)},
                 {"Quor 4 [-1]", "  Port 1 (COM3) [0]"},
                 ",3,"},
        TreeCase{"nameTrimmed",
                 {Board(1, {"COM9"}, " \tQuor Duo \r\n")},
                 {"Quor Duo [-1]", "  Port 1 (COM9) [0]"},
                 ",9,"},
        TreeCase{"leadingZeroAndNoNumber",
                 {Board(2, {"COM03", "PORTA"})},
                 {"Quor Octo [-1]", "  Port 1 (COM03) [0]", "  Port 2 (PORTA) [0]"},
                 ",03,,TA,"},
        TreeCase{"twoBoardsInOrder",
                 {Board(1, {"COM5"}, "First"), Board(1, {"COM6"}, "Second")},
                 {"First [-1]", "  Port 1 (COM5) [0]", "Second [-1]", "  Port 1 (COM6) [0]"},
                 ",5,,6,"}),
    [](const auto& info) { return std::string(info.param.name); });

class OtherPortsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }
  support::ScopedFakePort com3_{3};
  support::ScopedFakePort com200_{200};
  support::ScopedFakePort com256_{256};
  support::ScopedFakePort com257_{257};
};

TEST_F(OtherPortsTest, ListsPortsOffTheBoardsUpToCom256) {
  ShimScript script;
  script.boards = {Board(2, {"COM03", "COM200"})};
  ScriptedBinding binding(script);
  TMainForm form;
  const QStringList lines = TreeLines(form);
  EXPECT_TRUE(lines.contains("  COM3 [0]")) << "COM03 keeps COM3 in the probe";
  EXPECT_FALSE(lines.contains("  COM200 [0]")) << "a board's port is not probed";
  EXPECT_TRUE(lines.contains("  COM256 [0]"));
  EXPECT_FALSE(lines.contains("  COM257 [0]"));
  const TNodeData& com3 = form.NodeData(int(lines.indexOf("  COM3 [0]")));
  EXPECT_EQ(com3.NodeType, app::ntOtherPort);
  EXPECT_EQ(com3.ComNumber, 3);
}

TEST_F(OtherPortsTest, UsbAdaptersAreListedDescribedAndTheirHoldersNamed) {
  support::ScopedHostRoot noLinks;
  support::FakeSystem machine;
  machine.AddDanglingById("usb-gone-if00-port0");
  machine.AddUsbAdapter(0, "A1");
  const std::string held = machine.AddUsbAdapter(1, "B2");
  orvalisd::test::PortHolderProcess holder([&] {
    prctl(PR_SET_NAME, "holder");
    const int fd = open(held.c_str(), O_RDWR | O_NOCTTY);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
  });
  ASSERT_TRUE(holder.Held());
  ShimScript script;
  ScriptedBinding binding(script, "libnosuchshim.so");
  TMainForm form;
  WaitForHolderLookups(form);
  const QStringList lines = TreeLines(form);
  ASSERT_TRUE(lines.contains("  COM1 [0]") && lines.contains("  COM2 [0]"))
      << lines.join("|").toStdString();
  const QString holderText = QStringLiteral("holder (pid %1, user %2)")
                                 .arg(holder.Pid())
                                 .arg(QString::fromLatin1(getpwuid(geteuid())->pw_name));
  for (int com : {1, 2}) {
    QTreeWidgetItem* item =
        form.NodeItem(int(lines.indexOf(QStringLiteral("  COM%1 [0]").arg(com))));
    const QString device =
        QStringLiteral(
            "/dev/ttyUSB%1\nusb-FTDI_FT232R_USB_UART_%2-if00-port0\nUSB 0403:6001\n"
            "FTDI FT232R USB UART\nserial number %2\ndriver ftdi_sio")
            .arg(com - 1)
            .arg(com == 1 ? "A1" : "B2");
    EXPECT_EQ(item->toolTip(0), com == 1 ? device : device + "\nIn use by " + holderText);
    EXPECT_EQ(item->data(0, Qt::AccessibleDescriptionRole).toString(), item->toolTip(0));
    item->treeWidget()->setCurrentItem(item);
    WaitForHolderLookups(form);
    EXPECT_EQ(form.Port1Frame().DeviceText(), device);
    EXPECT_EQ(form.Port1Frame().HolderText(), com == 2 ? holderText : QString());
  }
}

TEST_F(OtherPortsTest, WithoutTheLibraryOnlyOtherPortsIsListedAndSelected) {
  ShimScript script;
  ScriptedBinding binding(script, "libnosuchshim.so");
  TMainForm form;
  EXPECT_TRUE(BoardLines(form).isEmpty());
  EXPECT_EQ(form.SelectedNodeIndex(), 0);
  EXPECT_EQ(form.NodeItem(0)->text(0), "Other ports");
  EXPECT_TRUE(form.Board2Frame().isVisibleTo(&form));
}

TEST_F(OtherPortsTest, BoardNodeRecordsCarryNumbersAndTheDriverVersion) {
  ShimScript script;
  script.boards = {Failing(Board(2, {"COM3"}), &ScriptedBoard::driverInfoFails),
                   Board(2, {"COM5", "COMX"})};
  ScriptedBinding binding(script);
  TMainForm form;
  EXPECT_EQ(form.NodeData(0).DriverVersion, "");
  EXPECT_EQ(form.NodeData(0).PortCount, 2);
  const TNodeData& board2 = form.NodeData(2);
  EXPECT_EQ(board2.BoardNumber, 2);
  EXPECT_EQ(board2.DriverVersion, "2.4.1");
  const TNodeData& port = form.NodeData(4);
  EXPECT_EQ(port.NodeType, app::ntBoardPort);
  EXPECT_TRUE(port.IsBoardPort);
  EXPECT_EQ(port.BoardNumber, 2);
  EXPECT_EQ(port.PortIndex, 2);
  EXPECT_EQ(port.ComNumber, 0);
}

}  // namespace
}  // namespace app_test
