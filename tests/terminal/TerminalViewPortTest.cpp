// The view on a real TApdComPort over the fake comm device.
#include <QtTest/QTest>
#include <chrono>

#include "terminal/ComPortLink.h"
#include "tests/support/FakeCommPort.h"
#include "tests/terminal/TerminalViewFixture.h"

namespace terminal::test {
namespace {

using namespace std::chrono_literals;

constexpr int kCom = 232;

class TAdTerminalOnPort : public TerminalViewTest {
 protected:
  TAdTerminalOnPort() {
    comPort.SetComNumber(kCom);
    comPort.SetPromptForPort(false);
    comPort.SetAutoOpen(false);
    view.SetUseLazyDisplay(false);
  }
  ~TAdTerminalOnPort() override { view.SetComPort(nullptr); }

  bool Shows(int row, const std::string& text) {
    return QTest::qWaitFor([&] { return RowText(view.ActiveEmulator().Buffer(), row) == text; },
                           10000);
  }

  support::ScopedFakePort fake{kCom};
  serial::TApdComPort comPort;
  ComPortLink link{comPort};
};

TEST_F(TAdTerminalOnPort, ViewWhosePortOpensLaterStartsReceivingOnTheOpenNotice) {
  view.SetComPort(&link);
  EXPECT_TRUE(view.Pending());
  EXPECT_FALSE(view.Receiving());
  comPort.SetOpen(true);  // tells its users: no call to the view
  EXPECT_TRUE(view.Receiving());
  EXPECT_FALSE(view.Pending());
  fake->Receive("from the port\r\nsecond line");
  EXPECT_TRUE(Shows(1, "from the port"));
  EXPECT_TRUE(Shows(2, "second line"));
  comPort.SetOpen(false);
  EXPECT_FALSE(view.Receiving());
  EXPECT_TRUE(view.Pending());
}

TEST_F(TAdTerminalOnPort, CtrlCWithoutASelectionSendsEtxToThePort) {
  comPort.SetOpen(true);
  view.SetComPort(&link);
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(&view, Qt::Key_Backspace);
  ASSERT_TRUE(fake->WaitForWritten(2, 10s));
  EXPECT_EQ(fake->TakeWritten(), (std::vector<std::uint8_t>{0x03, 0x7F}));
}

TEST_F(TAdTerminalOnPort, ManyDeliveriesArriveComplete) {
  comPort.SetOpen(true);
  view.SetComPort(&link);
  std::string text;
  for (int i = 1; i <= 300; ++i) text += "line " + std::to_string(i) + "\r\n";
  fake->Receive(text);
  EXPECT_TRUE(Shows(23, "line 300"));
  EXPECT_EQ(RowText(view.ActiveEmulator().Buffer(), 1), "line 278");
}

}  // namespace
}  // namespace terminal::test
