// The terminal window: opening and closing its port, what it tells the main
// window, the lamps and the RTS/DTR toggles, closing while data streams.
#include <QAccessible>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QPointer>
#include <QToolButton>
#include <QtTest/QTest>
#include <atomic>
#include <thread>

#include "PortHolderProcess.h"
#include "gui/Lamp.h"
#include "platform/comm/CommDevice.h"
#include "terminal/TerminalBuffer.h"
#include "terminal/view/Terminal.h"
#include "tests/support/FakeCommPort.h"
#include "tests/support/PtyPort.h"
#include "tests/term/TermTestSupport.h"

namespace term::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kCom = 231;
constexpr std::uint16_t kSecondCom = 232;
constexpr std::uint16_t kMissingCom = 249;  // no device under this number
constexpr std::uint16_t kHeldCom = 233;
constexpr int kNode = 7;
constexpr int kOtherNode = 9;

gui::TLampPanel& Lamp(TTermMDIChildForm& window, const char* name) {
  auto* lamp = window.findChild<gui::TLampPanel*>(name);
  EXPECT_NE(lamp, nullptr) << name;
  return *lamp;
}

bool Lit(TTermMDIChildForm& window, const char* name) {
  return Lamp(window, name).frameShadow() == QFrame::Sunken;
}

std::string ScreenRow(TTermMDIChildForm& window, int row) {
  const auto& buffer = window.AdTerminal().ActiveEmulator().Buffer();
  const std::uint8_t* chars = buffer.RowChars(terminal::ScreenRow(row));
  std::string text(chars, chars + buffer.ColCount());
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

class TermWindowTest : public testing::Test {
 protected:
  support::ScopedFakePort fake{kCom};
  support::ScopedFakePort secondFake{kSecondCom};
  FakeMainWindow main;
};

TEST_F(TermWindowTest, PortThatFailsToOpenIsReportedAndTheWindowClosesReleasingItsNode) {
  ModalAnswers answers;
  QPointer<TTermMDIChildForm> window = main.OpenTerminal(kNode, gui::ntBoardPort, kMissingCom);
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  ASSERT_EQ(answers.texts.size(), 1u);
  EXPECT_EQ(answers.texts[0], "COM249 failed to open!");
  EXPECT_EQ(answers.informativeTexts[0], "") << "a missing port has no holder to name";
  EXPECT_EQ(answers.titles[0], "Quor Tallyport");
  EXPECT_EQ(main.nodeMarks, (std::vector<std::pair<int, bool>>{{kNode, false}}));
  EXPECT_TRUE(main.boardButtonEnabled);
  EXPECT_EQ(main.boardStatusText, "Not in use.");
  EXPECT_EQ(main.treeOnlyLayouts, 1);
}

TEST_F(TermWindowTest, APortAnotherProgramHoldsFailsToOpenNamingTheHolder) {
  support::ScopedHostRoot root;
  support::PtyPort port(root, kHeldCom);
  const std::string slave = port.SlavePath();
  orvalisd::test::PortHolderProcess holder([&] {
    prctl(PR_SET_NAME, "minicom");
    const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
  });
  ASSERT_TRUE(holder.Held());
  ModalAnswers answers;
  QPointer<TTermMDIChildForm> window = main.OpenTerminal(kNode, gui::ntOtherPort, kHeldCom);
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  ASSERT_EQ(answers.texts.size(), 1u);
  EXPECT_EQ(answers.texts[0], "COM233 failed to open!");
  EXPECT_EQ(answers.informativeTexts[0], QStringLiteral("In use by minicom (pid %1, user %2)")
                                             .arg(holder.Pid())
                                             .arg(getpwuid(geteuid())->pw_name));
}

struct NodeCase {
  const char* name;
  gui::TNodeType type;
  bool stillSelectedAtClose;
};

class TermWindowNodeTest : public TermWindowTest, public testing::WithParamInterface<NodeCase> {};

TEST_P(TermWindowNodeTest, MarksItsNodeAndPanelWhileOpenAndReleasesThemOnClose) {
  const NodeCase& c = GetParam();
  const bool board = c.type == gui::ntBoardPort;
  QPointer<TTermMDIChildForm> window = main.OpenTerminal(kNode, c.type, kCom);
  ASSERT_TRUE(window->PortOpened());
  EXPECT_TRUE(fake->IsOpen());
  EXPECT_TRUE(main.nodeInUse[kNode]);
  EXPECT_EQ(main.boardButtonEnabled, !board);
  EXPECT_EQ(main.otherButtonEnabled, board);
  EXPECT_EQ(main.boardStatusText, board ? "In use by Quor Tallyport." : "");

  if (!c.stillSelectedAtClose) main.selectedNode = kOtherNode;
  window->close();
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  EXPECT_FALSE(fake->IsOpen());
  EXPECT_EQ(main.nodeMarks, (std::vector<std::pair<int, bool>>{{kNode, true}, {kNode, false}}));
  // The panel shows the node again only while it is selected.
  const bool released = c.stillSelectedAtClose;
  EXPECT_EQ(main.boardButtonEnabled, !board || released);
  EXPECT_EQ(main.otherButtonEnabled, board || released);
  EXPECT_EQ(main.boardStatusText,
            board ? (released ? "Not in use." : "In use by Quor Tallyport.") : "");
}

INSTANTIATE_TEST_SUITE_P(Nodes, TermWindowNodeTest,
                         testing::Values(NodeCase{"BoardPortSelected", gui::ntBoardPort, true},
                                         NodeCase{"BoardPortNotSelected", gui::ntBoardPort, false},
                                         NodeCase{"OtherPortSelected", gui::ntOtherPort, true},
                                         NodeCase{"OtherPortNotSelected", gui::ntOtherPort, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TermWindowTest, OnlyTheLastWindowToCloseReturnsToTheTreeOnlyLayout) {
  QPointer<TTermMDIChildForm> first = main.OpenTerminal(kNode, gui::ntOtherPort, kCom);
  QPointer<TTermMDIChildForm> second = main.OpenTerminal(kOtherNode, gui::ntOtherPort, kSecondCom);
  first->close();
  ASSERT_TRUE(WaitUntil([&] { return first.isNull(); }));
  EXPECT_EQ(main.treeOnlyLayouts, 0);
  second->close();
  ASSERT_TRUE(WaitUntil([&] { return second.isNull(); }));
  EXPECT_EQ(main.treeOnlyLayouts, 1);
}

TEST_F(TermWindowTest, ActivationPaintsEveryLampFromThePort) {
  fake->SetModemLines(platform::kMsCtsOn | platform::kMsRlsdOn);
  TTermMDIChildForm* window = main.OpenTerminal(kNode, gui::ntOtherPort, kCom);
  window->ApdComPort().SetDTR(false);
  main.mdiArea.setActiveSubWindow(nullptr);
  main.mdiArea.setActiveSubWindow(window);
  EXPECT_TRUE(Lit(*window, "CtsColBtnPanel"));
  EXPECT_FALSE(Lit(*window, "DsrColBtnPanel"));
  EXPECT_TRUE(Lit(*window, "CdColBtnPanel"));
  EXPECT_FALSE(Lit(*window, "RiColBtnPanel"));
  EXPECT_TRUE(Lit(*window, "RtsColBtnPanel"));
  EXPECT_FALSE(Lit(*window, "DtrColBtnPanel"));
}

struct LineCase {
  const char* name;
  std::uint32_t line;
  const char* lamp;
};

class TermWindowLineTest : public TermWindowTest, public testing::WithParamInterface<LineCase> {};

// The other input lamps are painted lit by hand first: a handler that
// repainted lines that did not change would put them out.
TEST_P(TermWindowLineTest, AChangeRepaintsOnlyTheLampOfThatLine) {
  const LineCase& c = GetParam();
  TTermMDIChildForm* window = main.OpenTerminal(kNode, gui::ntOtherPort, kCom);
  const char* inputs[] = {"CtsColBtnPanel", "DsrColBtnPanel", "CdColBtnPanel", "RiColBtnPanel"};
  for (const char* lamp : inputs) gui::SetLamp(Lamp(*window, lamp), lamp != c.lamp, true);

  fake->SetModemLines(c.line);
  ASSERT_TRUE(WaitUntil([&] { return Lit(*window, c.lamp); }));
  for (const char* lamp : inputs) EXPECT_TRUE(Lit(*window, lamp)) << lamp;
}

INSTANTIATE_TEST_SUITE_P(Lines, TermWindowLineTest,
                         testing::Values(LineCase{"Cts", platform::kMsCtsOn, "CtsColBtnPanel"},
                                         LineCase{"Dsr", platform::kMsDsrOn, "DsrColBtnPanel"},
                                         LineCase{"Dcd", platform::kMsRlsdOn, "CdColBtnPanel"},
                                         LineCase{"Ring", platform::kMsRingOn, "RiColBtnPanel"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TermWindowTest, TheModemTriggerWatchesAgainAfterEachChange) {
  TTermMDIChildForm* window = main.OpenTerminal(kNode, gui::ntOtherPort, kCom);
  for (int round = 0; round < 3; ++round) {
    fake->SetModemLines(platform::kMsCtsOn);
    ASSERT_TRUE(WaitUntil([&] { return Lit(*window, "CtsColBtnPanel"); })) << round;
    fake->SetModemLines(0);
    ASSERT_TRUE(WaitUntil([&] { return !Lit(*window, "CtsColBtnPanel"); })) << round;
  }
}

struct ToggleCase {
  const char* name;
  serial::THWFlowOptions flow;
  const char* lamp;
  bool toggles;
};

class TermWindowToggleTest : public TermWindowTest,
                             public testing::WithParamInterface<ToggleCase> {};

TEST_P(TermWindowToggleTest, ALampClickTogglesItsOutputUnlessHardwareFlowControlIsOn) {
  const ToggleCase& c = GetParam();
  const bool rts = std::string(c.lamp) == "RtsColBtnPanel";
  TTermMDIChildForm* window = main.OpenTerminal(kNode, gui::ntOtherPort, kCom);
  serial::TApdComPort& port = window->ApdComPort();
  port.SetHWFlowOptions(c.flow);
  auto output = [&] { return rts ? port.RTS() : port.DTR(); };
  auto deviceLine = [&] { return rts ? fake->RtsOn() : fake->DtrOn(); };
  const bool before = output();
  const bool deviceBefore = deviceLine();
  gui::SetLamp(Lamp(*window, c.lamp), before, true);

  QTest::mouseClick(&Lamp(*window, c.lamp), Qt::LeftButton);
  EXPECT_EQ(output(), c.toggles ? !before : before);
  EXPECT_EQ(deviceLine(), c.toggles ? !deviceBefore : deviceBefore);
  EXPECT_EQ(Lit(*window, c.lamp), output());
  if (!c.toggles) return;
  QTest::mouseClick(&Lamp(*window, c.lamp), Qt::LeftButton);
  EXPECT_EQ(output(), before);
  EXPECT_EQ(Lit(*window, c.lamp), before);
}

INSTANTIATE_TEST_SUITE_P(
    Toggles, TermWindowToggleTest,
    testing::Values(ToggleCase{"RtsWithoutFlowControl", 0, "RtsColBtnPanel", true},
                    ToggleCase{"DtrWithoutFlowControl", 0, "DtrColBtnPanel", true},
                    ToggleCase{"RtsUnderRtsCts", serial::hwfUseRTS | serial::hwfRequireCTS,
                               "RtsColBtnPanel", false},
                    ToggleCase{"DtrUnderRtsCts", serial::hwfUseRTS | serial::hwfRequireCTS,
                               "DtrColBtnPanel", false},
                    ToggleCase{"RtsUnderDtrDsr", serial::hwfUseDTR | serial::hwfRequireDSR,
                               "RtsColBtnPanel", false},
                    ToggleCase{"DtrUnderDtrDsr", serial::hwfUseDTR | serial::hwfRequireDSR,
                               "DtrColBtnPanel", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TermWindowTest, ClearEmptiesTheScreen) {
  TTermMDIChildForm* window = main.OpenTerminal(kNode, gui::ntOtherPort, kCom);
  fake->Receive("some text\r\nmore");
  ASSERT_TRUE(WaitUntil([&] { return ScreenRow(*window, 2) == "more"; }));
  window->findChild<QToolButton*>("ClearScreenToolButton")->click();
  EXPECT_EQ(ScreenRow(*window, 1), "");
  EXPECT_EQ(ScreenRow(*window, 2), "");
}

// The far end hangs up under an open window: the caption and the lamps say
// so, typing and lamp clicks raise nothing, and the window still closes and
// lets its node go.
TEST_F(TermWindowTest, AVanishedDeviceShowsAsDisconnectedWithoutABoxPerKey) {
  ModalAnswers answers;
  fake->SetModemLines(platform::kMsCtsOn);
  QPointer<TTermMDIChildForm> window = main.OpenTerminal(kNode, gui::ntOtherPort, kCom);
  const QString caption = window->windowTitle();
  fake->Vanish();
  ASSERT_TRUE(WaitUntil([&] { return window->Disconnected(); }));
  EXPECT_EQ(window->windowTitle(), caption + " (disconnected)");
  main.mdiArea.setActiveSubWindow(nullptr);
  main.mdiArea.setActiveSubWindow(window);
  for (int i = 0; i < 5; ++i) QTest::keyClick(&window->AdTerminal(), Qt::Key_A);
  QTest::mouseClick(&Lamp(*window, "RtsColBtnPanel"), Qt::LeftButton);
  Settle();
  EXPECT_TRUE(answers.texts.empty());
  const std::pair<const char*, const char*> lamps[] = {
      {"CtsColBtnPanel", "CTS"}, {"DsrColBtnPanel", "DSR"}, {"CdColBtnPanel", "CD"},
      {"RiColBtnPanel", "RI"},   {"RtsColBtnPanel", "RTS"}, {"DtrColBtnPanel", "DTR"}};
  for (auto [name, line] : lamps) {
    QAccessibleInterface* lamp = QAccessible::queryAccessibleInterface(&Lamp(*window, name));
    EXPECT_EQ(lamp->text(QAccessible::Name), line);
    EXPECT_EQ(lamp->text(QAccessible::Value), "not available") << name;
  }
  window->close();
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  EXPECT_FALSE(fake->IsOpen());
  EXPECT_FALSE(main.nodeInUse[kNode]);
}

// Closing while the far end streams: the view goes before the port, the
// port closes, and nothing touches the window after it is gone (ASan).
TEST_F(TermWindowTest, WindowsCloseWhileTheirPortsStream) {
  QPointer<TTermMDIChildForm> first = main.OpenTerminal(kNode, gui::ntOtherPort, kCom);
  QPointer<TTermMDIChildForm> second = main.OpenTerminal(kOtherNode, gui::ntOtherPort, kSecondCom);
  std::atomic<bool> streaming{true};
  std::thread farEnd([&] {
    while (streaming) {
      fake->Receive(std::string(200, 'x') + "\r\n");
      secondFake->Receive(std::string(200, 'y') + "\r\n");
      std::this_thread::sleep_for(1ms);
    }
  });
  QTest::qWait(200);
  second->close();
  first->close();
  const bool gone = WaitUntil([&] { return first.isNull() && second.isNull(); });
  streaming = false;
  farEnd.join();
  ASSERT_TRUE(gone);
  EXPECT_FALSE(fake->IsOpen());
  EXPECT_FALSE(secondFake->IsOpen());
}

// A real device: a pseudo-terminal linked as a COM port.
TEST(TermWindowPtyTest, ShowsWhatTheFarEndSendsAndSendsWhatIsTyped) {
  support::ScopedHostRoot root;
  support::PtyPort pty(root, 61);
  FakeMainWindow main;
  TTermMDIChildForm* window = main.OpenTerminal(kNode, gui::ntBoardPort, 61);
  ASSERT_TRUE(window->PortOpened());
  pty.Send("hello from the line\r\n");
  EXPECT_TRUE(WaitUntil([&] { return ScreenRow(*window, 1) == "hello from the line"; }));
  terminal::TAdTerminal& view = window->AdTerminal();
  view.setFocus();
  QTest::keyClicks(&view, "at");
  QTest::keyClick(&view, Qt::Key_Return);
  const std::vector<std::uint8_t> typed = pty.Receive(3, 10s);
  EXPECT_EQ(std::string(typed.begin(), typed.end()), "at\r");
}

}  // namespace
}  // namespace term::test
