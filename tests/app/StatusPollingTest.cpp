// Status polling, the detail panels it fills, the layouts and the about box.
#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRegularExpression>

#include "app/About.h"
#include "app/Board1.h"
#include "app/MdiTiling.h"
#include "app/Port2.h"
#include "app/StringGrid.h"
#include "gui/Lamp.h"
#include "platform/Messages.h"
#include "tests/app/AppTestSupport.h"

namespace app_test {
namespace {

using app::TMainForm;

class StatusPollingTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }

  void SetUp() override {
    ScriptedBoard board;
    board.portCount = 3;
    board.name = "Quor Tri";
    board.portNames = {"COM40", "COM41", "COMX"};
    board.ports.resize(3);
    script_.boards = {board};
    binding_ = std::make_unique<ScriptedBinding>(script_);
    form_ = std::make_unique<TMainForm>();
  }

  ScriptedPort& Port(int index) { return script_.boards[0].ports[std::size_t(index)]; }
  // One tick, then the messages it posted.
  void Tick() {
    form_->RefreshPortStatus();
    platform::ProcessMessages();
  }
  void Select(int node) {
    form_->NodeItem(node)->treeWidget()->setCurrentItem(form_->NodeItem(node));
  }

  ShimScript script_;
  std::unique_ptr<ScriptedBinding> binding_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(StatusPollingTest, AnotherProgramsOpenIsMarkedAndItsCloseUnmarked) {
  Select(1);
  ASSERT_TRUE(form_->Port2Frame().TerminalButtonEnabled());
  Port(0).openState = 0;
  Tick();
  EXPECT_TRUE(form_->NodeData(1).InUseByOther);
  EXPECT_EQ(form_->StateIndex(1), app::kInUseMark);
  EXPECT_FALSE(form_->Port2Frame().TerminalButtonEnabled());
  EXPECT_EQ(form_->Port2Frame().StatusText(), "Not in use.") << "the handler leaves the text";
  Port(0).openState = 1;
  Tick();
  EXPECT_FALSE(form_->NodeData(1).InUseByOther);
  EXPECT_EQ(form_->StateIndex(1), app::kFreeMark);
  EXPECT_TRUE(form_->Port2Frame().TerminalButtonEnabled());
}

TEST_F(StatusPollingTest, OurOwnPortIsNeverMarkedAsAnotherProgramsOne) {
  form_->SetNodeInUseByUs(2, true);
  Port(1).openState = 0;
  Tick();
  Tick();
  EXPECT_FALSE(form_->NodeData(2).InUseByOther);
  EXPECT_TRUE(form_->NodeData(2).InUseByUs);
  EXPECT_EQ(form_->StateIndex(2), app::kInUseMark);
}

TEST_F(StatusPollingTest, AFailedStatusRequestLeavesThePortAsItWas) {
  const app::PortStatusRecord before = form_->NodeData(1).PortStatus;
  Port(0).openState = 0;
  Port(0).statusFails = true;
  Tick();
  EXPECT_FALSE(form_->NodeData(1).InUseByOther);
  EXPECT_EQ(form_->NodeData(1).PortStatus, before);
}

TEST_F(StatusPollingTest, ActivityComparesWithTheLastCountersStartingFromZero) {
  Port(0).bytesTransmitted = 5;
  Tick();
  EXPECT_TRUE(form_->NodeData(1).TxActive);
  EXPECT_FALSE(form_->NodeData(1).RxActive);
  Tick();
  EXPECT_FALSE(form_->NodeData(1).TxActive);
  Port(0).bytesReceived = 9;
  Port(0).countersFails = true;
  Tick();
  EXPECT_EQ(form_->NodeData(1).PortCounters.BytesReceived(), 0u) << "a failed read keeps them";
}

TEST_F(StatusPollingTest, APortWithoutComNumberKeepsItsButtonDisabledWhenFreedAgain) {
  Select(3);
  EXPECT_FALSE(form_->Port2Frame().TerminalButtonEnabled());
  Port(2).openState = 0;
  Tick();
  Port(2).openState = 1;
  Tick();
  EXPECT_FALSE(form_->NodeData(3).InUseByOther);
  EXPECT_FALSE(form_->Port2Frame().TerminalButtonEnabled());
}

TEST_F(StatusPollingTest, PortPanelShowsNotAvailableUntilThePortIsHeld) {
  ScriptedPort& port = Port(0);
  port.openState = 0;
  port.rts = 2;
  port.cts = 1;
  port.dtr = 0;
  port.baud = 9600;
  port.baudCopy = 9600;
  port.parity = 7;
  port.dataBitsCode = 2;
  port.stopBits = 3;
  port.bytesTransmitted = 4000000000u;
  port.errors[0] = 0xFFFFFFFFu;
  port.errors[1] = 2;
  port.errors[2] = 3;
  Select(1);
  auto& panel = form_->Port2Frame();
  EXPECT_EQ(panel.ValueText("BaudRateLabel"), "N/A") << "the selection's refresh runs first";
  Tick();  // marks the port; the panel follows from the next tick
  Tick();
  EXPECT_EQ(panel.ValueText("BaudRateLabel"), "9600");
  EXPECT_EQ(panel.ValueText("ParityLabel"), "Unknown");
  EXPECT_EQ(panel.ValueText("DataBitsLabel"), "7");
  EXPECT_EQ(panel.ValueText("StopBitsLabel"), "1.5");
  EXPECT_EQ(panel.ValueText("TXByteCountLabel"), "4000000000");
  EXPECT_EQ(panel.ValueText("ErrorCountLabel"), "4") << "a 32-bit sum";
  EXPECT_EQ(panel.Lamp("RtsColBtnPanel").frameShadow(), QFrame::Sunken);
  EXPECT_EQ(panel.Lamp("CtsColBtnPanel").frameShadow(), QFrame::Raised);
  EXPECT_NE(panel.Lamp("DtrColBtnPanel").palette().color(QPalette::WindowText), QColor(Qt::black));
  EXPECT_EQ(panel.Lamp("CtsColBtnPanel").palette().color(QPalette::WindowText), QColor(Qt::black));
}

struct ValueCase {
  std::uint32_t value;
  const char* parity;
  const char* dataBits;
  const char* stopBits;
};

TEST(PortValueTexts, FollowTheDriversCodes) {
  const ValueCase cases[] = {{0, "", "", ""},         {1, "None", "8", "1"},  {2, "Odd", "7", "2"},
                             {3, "Even", "6", "1.5"}, {4, "Space", "5", "4"}, {5, "Mark", "4", "5"},
                             {6, "Unknown", "3", "6"}};
  for (const auto& c : cases) {
    EXPECT_EQ(app::ParityText(c.value), c.parity) << c.value;
    EXPECT_EQ(app::DataBitsText(c.value), c.dataBits) << c.value;
    EXPECT_EQ(app::StopBitsText(c.value), c.stopBits) << c.value;
  }
}

TEST_F(StatusPollingTest, BoardGridShowsOpenPortsWithTheirActiveLines) {
  Port(1).openState = 0;
  Port(1).cts = 2;
  Port(1).rts = 1;
  Port(1).bytesReceived = 3;
  Select(0);
  Tick();
  const app::TStringGrid& grid = form_->Board1Frame().PortsStringGrid();
  ASSERT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.height(), 45);
  EXPECT_EQ(grid.Cells(0, 0).text, "Port 1 (COM40)");
  EXPECT_EQ(grid.Cells(1, 0).text, "Closed");
  EXPECT_EQ(grid.Cells(2, 0).text, "");
  EXPECT_EQ(grid.Cells(1, 1).text, "Open");
  QStringList texts;
  QString lit;
  for (int col = 2; col < 10; ++col) {
    texts << grid.Cells(col, 1).text;
    if (grid.Cells(col, 1).object) lit += grid.Cells(col, 1).text;
  }
  EXPECT_EQ(texts.join(' '), "RTS DTR CTS DSR CD RI TX RX");
  EXPECT_EQ(lit, "CTSRX");
}

TEST_F(StatusPollingTest, LayoutsGiveTheTopPanelTwentySevenPercent) {
  form_->resize(550, 424);
  form_->show();
  EXPECT_FALSE(form_->SplitLayoutShown());
  form_->ShowSplitLayout();
  EXPECT_TRUE(form_->SplitLayoutShown());
  EXPECT_EQ(form_->TopPanelHeight(), 114);
  form_->ShowTreeOnlyLayout();
  EXPECT_FALSE(form_->SplitLayoutShown());
}

TEST_F(StatusPollingTest, WindowMenuListsTheWindowsByCaption) {
  for (const char* caption : {"COM5 Terminal", "Port 1 (COM40) Terminal"}) {
    auto* window = form_->MdiArea().addSubWindow(new QWidget);
    window->setWindowTitle(caption);
    window->show();
  }
  auto* menu = form_->findChild<QMenu*>("Window1");
  QMetaObject::invokeMethod(menu, "aboutToShow", Qt::DirectConnection);
  QStringList listed;
  for (QAction* action : menu->actions()) {
    if (action->isVisible() && !action->isSeparator()) listed << action->text();
  }
  EXPECT_EQ(listed,
            (QStringList{"&Cascade", "Tile Hori&zontally", "Tile &Vertically", "&Arrange All",
                         "&1 COM5 Terminal", "&2 Port 1 (COM40) Terminal"}));
}

TEST(MdiTiling, StripsAndColumnsCoverTheArea) {
  const QRect area(0, 0, 300, 200);
  EXPECT_EQ(app::TileRects(area, 3, app::TileMode::Horizontal),
            (QList<QRect>{QRect(0, 0, 300, 66), QRect(0, 66, 300, 67), QRect(0, 133, 300, 67)}));
  EXPECT_EQ(app::TileRects(area, 2, app::TileMode::Vertical),
            (QList<QRect>{QRect(0, 0, 150, 200), QRect(150, 0, 150, 200)}));
  EXPECT_TRUE(app::TileRects(area, 0, app::TileMode::Vertical).isEmpty());
}

struct AboutCase {
  const char* name;
  const char* program;  // beside the tests
  const char* library;
  const char* version;
  const char* comments;
  const char* shim;
};

class AboutBoxTest : public testing::TestWithParam<AboutCase> {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }
};

TEST_P(AboutBoxTest, FillsFromTheVersionBlocksWithFallbacks) {
  app::TAboutBox about(TestLibrary(GetParam().program), GetParam().library);
  about.FormActivate();
  EXPECT_EQ(about.LabelText("Version"), GetParam().version);
  EXPECT_EQ(about.LabelText("Comments"), GetParam().comments);
  EXPECT_EQ(about.LabelText("ShimDllLabel"), GetParam().shim);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AboutBoxTest,
    testing::Values(AboutCase{"withBlocks", "orvalisd", "QUORMGMT.DLL", "Version 1.0.0.0",
                              "Orvalis board driver replacement", "1.0.0.0"},
                    AboutCase{"noProgramBlock", "libscriptedshim.so", "libscriptedshim.so",
                              "Version 1.0", "Quor Tallyport for Windows", "-"},
                    AboutCase{"libraryWithoutFileVersion", "libmodattach.so", "ModAttach.DLL",
                              "Version <unknown>", "Module probe", "<unknown>"},
                    AboutCase{"noLibrary", "orvalisd", "NoSuchLibrary.DLL", "Version 1.0.0.0",
                              "Orvalis board driver replacement", "-"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace app_test
