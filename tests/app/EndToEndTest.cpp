// harbex's main window against a live orvalisd: the real shim through the real
// binding, board ports that are pseudo-terminals, terminal windows on them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QMdiArea>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "app/Board1.h"
#include "app/Port2.h"
#include "app/PortFacts.h"
#include "app/StringGrid.h"
#include "platform/Messages.h"
#include "term/TermMDIChild.h"
#include "terminal/view/Terminal.h"
#include "tests/app/AppTestSupport.h"
#include "tests/driver/OrvalisdProcess.h"
#include "tests/driver/PortHolderProcess.h"
#include "tests/support/FakeSystem.h"

namespace app_test {
namespace {

using app::TMainForm;

// Runs Qt and platform events until done() or the deadline.
bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    platform::ProcessMessages();
  }
  return true;
}

std::string ScreenRow(terminal::TAdTerminal& view, int row) {
  const auto& buffer = view.ActiveEmulator().Buffer();
  const char* chars = reinterpret_cast<const char*>(buffer.RowChars(terminal::ScreenRow(row)));
  std::string text(chars, std::size_t(buffer.ColCount()));
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

class EndToEndTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    EnsureApplication();
    root_ = new orvalisd::test::TempRoot;
    setenv("QUOR_HOST_ROOT", root_->Path().c_str(), 1);
    daemon_ = new orvalisd::test::OrvalisdProcess(
        root_->Path(), {"--first-com", "40", "--board", "3", "--board", "4:loopback"});
    app::MgmtLoaded = false;
    app::BindManagementLibrary();
  }
  static void TearDownTestSuite() {
    app::ReleaseManagementLibrary();
    delete daemon_;
    delete root_;
    unsetenv("QUOR_HOST_ROOT");
  }

  void SetUp() override {
    ASSERT_TRUE(daemon_->Ready()) << daemon_->Output();
    ASSERT_TRUE(app::MgmtLoaded);
    form_ = std::make_unique<TMainForm>();
    form_->resize(640, 480);
    form_->show();
  }

  int NodeOf(const QString& text) const {
    for (int i = 0; i < form_->NodeCount(); ++i)
      if (form_->NodeItem(i)->text(0) == text) return i;
    return -1;
  }
  void Select(int node) {
    form_->NodeItem(node)->treeWidget()->setCurrentItem(form_->NodeItem(node));
  }
  void DoubleClick(int node) {
    QTreeWidget* tree = form_->NodeItem(node)->treeWidget();
    tree->scrollToItem(form_->NodeItem(node));
    QCoreApplication::processEvents();
    const QRect rect = tree->visualItemRect(form_->NodeItem(node));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
  }
  std::string Link(int com) const {
    return root_->Path() + "/dosdevices/com" + std::to_string(com);
  }

  static orvalisd::test::TempRoot* root_;
  static orvalisd::test::OrvalisdProcess* daemon_;
  std::unique_ptr<TMainForm> form_;
};

orvalisd::test::TempRoot* EndToEndTest::root_ = nullptr;
orvalisd::test::OrvalisdProcess* EndToEndTest::daemon_ = nullptr;

TEST_F(EndToEndTest, TreeListsTheBoardsAndTheirPorts) {
  QStringList ports;
  for (const QString& line : BoardLines(*form_))
    if (line.startsWith("  ")) ports << line.trimmed();
  EXPECT_EQ(ports, (QStringList{"Port 1 (COM43) [0]", "Port 2 (COM44) [0]", "Port 3 (COM45) [0]",
                                "Port 4 (COM46) [0]", "Port 1 (COM40) [0]", "Port 2 (COM41) [0]",
                                "Port 3 (COM42) [0]"}))
      << "board 1 is the board discovered last";
  EXPECT_EQ(form_->NodeData(0).PortCount, 4);
  EXPECT_EQ(form_->NodeData(5).BoardNumber, 2);
}

TEST_F(EndToEndTest, AnotherProgramsOpenIsMarkedWithinATickAndShownInThePanels) {
  const int node = NodeOf("Port 2 (COM41)");
  ASSERT_GE(node, 0);
  Select(node);
  const int held = open(Link(41).c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  // One tick sees it; the mark follows when the tick's message is handled.
  EXPECT_TRUE(WaitFor([&] { return form_->NodeData(node).InUseByOther; }, 1500));
  EXPECT_EQ(form_->StateIndex(node), app::kInUseMark);
  EXPECT_FALSE(form_->Port2Frame().TerminalButtonEnabled());
  EXPECT_TRUE(WaitFor([&] { return form_->Port2Frame().ValueText("BaudRateLabel") == "9600"; }));
  EXPECT_EQ(form_->Port2Frame().ValueText("StopBitsLabel"), "1");

  Select(NodeOf(form_->NodeItem(node)->parent()->text(0)));
  const app::TStringGrid& grid = form_->Board1Frame().PortsStringGrid();
  EXPECT_TRUE(WaitFor([&] { return grid.Cells(1, 1).text == "Open"; }));
  EXPECT_EQ(grid.Cells(1, 0).text, "Closed");
  close(held);
  EXPECT_TRUE(WaitFor([&] { return !form_->NodeData(node).InUseByOther; }, 1500));
  EXPECT_EQ(form_->StateIndex(node), app::kFreeMark);
}

struct HolderCase {
  const char* name;
  bool lock;          // the holder also locks the port
  uid_t uid;          // the holder's uid once it holds the port (0: unchanged)
  bool procVisible;   // false: /proc shows nothing of any process
  const char* shown;  // the holder line; %1 the pid, %2 the user
};

class HolderTest : public EndToEndTest, public testing::WithParamInterface<HolderCase> {};

TEST_P(HolderTest, AnotherProgramIsNamedInThePanelAndToolTipsWithinATick) {
  const HolderCase& c = GetParam();
  if (c.uid != 0 && geteuid() != 0) GTEST_SKIP() << "needs root to hold as another user";
  std::unique_ptr<support::FakeSystem> noProcesses;
  if (!c.procVisible) {
    noProcesses = std::make_unique<support::FakeSystem>();
    std::filesystem::remove(noProcesses->Root() + "/proc");
    std::filesystem::create_directory(noProcesses->Root() + "/proc");
  }
  const int node = NodeOf("Port 2 (COM41)");
  ASSERT_GE(node, 0);
  Select(node);
  const QString pty = QString::fromStdString(std::filesystem::canonical(Link(41)).string());
  EXPECT_EQ(form_->Port2Frame().DeviceText(), pty);

  const std::string link = Link(41);
  orvalisd::test::PortHolderProcess holder([&] {
    prctl(PR_SET_NAME, "minicom");
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || (c.lock && flock(fd, LOCK_EX | LOCK_NB) != 0)) return false;
    return c.uid == 0 || setuid(c.uid) == 0;
  });
  ASSERT_TRUE(holder.Held());
  const passwd* user = getpwuid(c.uid ? c.uid : geteuid());
  const QString shown = QString::fromLatin1(c.shown).arg(holder.Pid()).arg(user->pw_name);
  EXPECT_TRUE(WaitFor(
      [&] { return form_->NodeData(node).InUseByOther && !form_->PortFacts().LookupPending(); },
      1500));
  EXPECT_EQ(form_->Port2Frame().HolderText(), shown);
  QTreeWidgetItem* item = form_->NodeItem(node);
  EXPECT_EQ(item->toolTip(0), pty + "\nIn use by " + shown);
  EXPECT_EQ(item->data(0, Qt::AccessibleDescriptionRole).toString(), item->toolTip(0));

  Select(NodeOf(item->parent()->text(0)));
  const app::TStringGrid& grid = form_->Board1Frame().PortsStringGrid();
  EXPECT_TRUE(WaitFor([&] { return grid.RowToolTip(1) == item->toolTip(0); }));
  Select(node);
  holder.Release();
  EXPECT_TRUE(WaitFor([&] { return !form_->NodeData(node).InUseByOther; }, 1500));
  EXPECT_EQ(form_->Port2Frame().HolderText(), "");
  EXPECT_EQ(item->toolTip(0), pty);
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, HolderTest,
    testing::Values(HolderCase{"ByItsDescriptor", false, 0, true, "minicom (pid %1, user %2)"},
                    HolderCase{"ByLockAsAnotherUser", true, 65534, true,
                               "minicom (pid %1, user %2)"},
                    HolderCase{"NothingVisible", true, 0, false, "a program of another user"}),
    [](const auto& info) { return info.param.name; });

TEST_F(EndToEndTest, ATerminalOpenedByDoubleClickSendsAndReceivesThroughALoopbackPort) {
  const int node = NodeOf("Port 1 (COM43)");
  ASSERT_GE(node, 0);
  Select(node);
  DoubleClick(node);
  ASSERT_TRUE(WaitFor([&] { return form_->TerminalWindows().size() == 1; }));
  term::TTermMDIChildForm* window = form_->TerminalWindows().front();
  EXPECT_EQ(window->windowTitle(), "Port 1 (COM43) Terminal");
  EXPECT_TRUE(form_->SplitLayoutShown());
  ASSERT_TRUE(window->PortOpened());
  EXPECT_TRUE(form_->NodeData(node).InUseByUs);
  EXPECT_EQ(form_->Port2Frame().StatusText(), "In use by Quor Tallyport.");

  terminal::TAdTerminal& view = window->AdTerminal();
  view.setFocus();
  QTest::keyClicks(&view, "loop back");
  EXPECT_TRUE(WaitFor([&] { return ScreenRow(view, 1) == "loop back"; })) << ScreenRow(view, 1);
  // The tick keeps the port ours while it is open here.
  QTest::qWait(600);
  platform::ProcessMessages();
  EXPECT_FALSE(form_->NodeData(node).InUseByOther);

  window->close();
  EXPECT_TRUE(WaitFor([&] { return form_->MdiChildCount() == 0; }));
  EXPECT_FALSE(form_->NodeData(node).InUseByUs);
  EXPECT_FALSE(form_->SplitLayoutShown());
  EXPECT_EQ(form_->Port2Frame().StatusText(), "Not in use.");
}

TEST_F(EndToEndTest, TheLoopbackTestOnALoopbackPortGetsBackEveryCharacter) {
  const int node = NodeOf("Port 3 (COM45)");
  Select(node);
  form_->OpenTerminal("Port 3 (COM45)");
  ASSERT_EQ(form_->TerminalWindows().size(), 1u);
  term::TTermMDIChildForm* window = form_->TerminalWindows().front();
  ASSERT_TRUE(window->PortOpened());
  // The prompt is answered OK; the result is read and closed.
  QStringList texts;
  QTimer answerer;
  answerer.setInterval(20);
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      texts << box->text();
      box->button(QMessageBox::Ok)->click();
    }
  });
  answerer.start();
  window->findChild<QToolButton*>("SendTestCharsToolButton")->click();
  ASSERT_EQ(texts.size(), 2);
  EXPECT_EQ(texts[1],
            "Loopback test results (COM45:)\r\nSent 1482 characters\r\nReceived 1482 "
            "characters");
  window->close();
  EXPECT_TRUE(WaitFor([&] { return form_->MdiChildCount() == 0; }));
}

TEST_F(EndToEndTest, ExitClosesEveryTerminalWindowAndFreesItsPort) {
  for (const char* text : {"Port 1 (COM40)", "Port 3 (COM42)", "Port 2 (COM44)"}) {
    Select(NodeOf(text));
    form_->OpenTerminal(text);
  }
  ASSERT_EQ(form_->TerminalWindows().size(), 3u);
  for (auto* window : form_->TerminalWindows()) ASSERT_TRUE(window->PortOpened());
  form_->close();
  EXPECT_TRUE(WaitFor([&] { return form_->MdiChildCount() == 0; }));
  EXPECT_EQ(form_->NodeCount(), 0) << "the tree is torn down";
  for (int com : {40, 42, 44}) {
    const int fd = open(Link(com).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "COM" << com << " is still held";
    close(fd);
  }
}

}  // namespace
}  // namespace app_test
