// The view on a real TApdComPort over the fake comm device.
#include <QPointer>
#include <QtTest/QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "serial/ExceptionDisplay.h"
#include "terminal/ComPortLink.h"
#include "terminal/TerminalError.h"
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
    return QTest::qWaitFor(
        [&] { return RowText(view.ActiveEmulator().Buffer(), ScreenRow(row)) == text; }, 10000);
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
  EXPECT_EQ(RowText(view.ActiveEmulator().Buffer(), ScreenRow(1)), "line 278");
}

// What a user does, or what arrives, raises inside one of the view's event
// handlers: the error is shown (the program's display) and never crosses
// Qt's event handling; the view goes on.
class PaintFailingEmulator : public TAdTTYEmulator {
 public:
  void Paint() override { throw TerminalError("paint failed"); }
};

struct Scene {
  TAdTerminal& view;
  serial::TApdComPort& comPort;
  support::FakeCommPort& device;
  PaintFailingEmulator& paintFailing;
};

struct RaisingCase {
  const char* name;
  std::function<void(Scene&)> provoke;
  const char* shown;
};

class RaisingHandler : public TAdTerminalOnPort, public testing::WithParamInterface<RaisingCase> {
 protected:
  RaisingHandler() {
    serial::SetExceptionDisplay([this](const std::exception& e) { shown.emplace_back(e.what()); });
  }
  ~RaisingHandler() override {
    view.SetEmulator(nullptr);
    serial::SetExceptionDisplay(nullptr);
  }

  std::vector<std::string> shown;
  PaintFailingEmulator paintFailing;
};

TEST_P(RaisingHandler, TheErrorIsShownAndTheViewGoesOn) {
  comPort.SetOutSize(16);
  comPort.SetOpen(true);
  view.SetComPort(&link);
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  Scene scene{view, comPort, *fake, paintFailing};
  GetParam().provoke(scene);
  Settle();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), GetParam().shown);
  view.OnCursorMoved = nullptr;
  fake->Receive("\r\nstill receiving");
  EXPECT_TRUE(Shows(2, "still receiving"));
}

INSTANTIATE_TEST_SUITE_P(Handlers, RaisingHandler,
                         testing::Values(RaisingCase{"TypingIntoAFullOutputRing",
                                                     [](Scene& s) {
                                                       s.device.SetWritesStuck(true);
                                                       s.comPort.SendText(std::string(16, 'x'));
                                                       QTest::keyClick(&s.view, Qt::Key_A);
                                                     },
                                                     "Output buffer too small for block"},
                                         RaisingCase{"CursorHandlerFailsOnReceivedData",
                                                     [](Scene& s) {
                                                       s.view.OnCursorMoved =
                                                           [](TAdTerminal*, ScreenRow, Column) {
                                                             throw std::runtime_error(
                                                                 "cursor handler failed");
                                                           };
                                                       s.device.Receive("abc");
                                                       QTest::qWait(100);
                                                     },
                                                     "cursor handler failed"},
                                         RaisingCase{"EmulatorPaintFails",
                                                     [](Scene& s) {
                                                       s.view.SetEmulator(&s.paintFailing);
                                                       s.view.viewport()->repaint();
                                                     },
                                                     "paint failed"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Bytes arriving at the fake device all the time, as on a busy line.
class Stream {
 public:
  explicit Stream(support::FakeCommPort& device)
      : feeder_([this, &device] {
          while (!stop_) {
            device.Receive("streaming data line\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  ~Stream() {
    stop_ = true;
    feeder_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread feeder_;
};

TEST_F(TAdTerminalOnPort, ALinkDestroyedUnderTheViewIsDropped) {
  auto ownLink = std::make_unique<ComPortLink>(comPort);
  comPort.SetOpen(true);
  view.SetComPort(ownLink.get());
  ASSERT_TRUE(view.Receiving());
  Stream stream(*fake);
  EXPECT_TRUE(Shows(1, "streaming data line"));
  ownLink.reset();
  EXPECT_EQ(view.ComPort(), nullptr);
  EXPECT_FALSE(view.Active());
  EXPECT_FALSE(view.Receiving());
  EXPECT_FALSE(view.Pending());
  view.setFocus();
  QTest::keyClick(&view, Qt::Key_A);  // nowhere to go, and no call into the dead link
  Settle();
  EXPECT_TRUE(comPort.Open());
}

// A terminal window as Qt takes it down: its members (the port, and the
// link declared after it) go first, its child widgets (the view) after.
class PortOwner : public QWidget {
 public:
  PortOwner() {
    comPort.SetComNumber(kCom);
    comPort.SetPromptForPort(false);
    comPort.SetAutoOpen(false);
    view = new TAdTerminal(this);
    view->SetUseLazyDisplay(false);
    view->SetComPort(&link);
  }

  serial::TApdComPort comPort;
  ComPortLink link{comPort};
  TAdTerminal* view;
};

struct OwnerCase {
  const char* name;
  bool open;
};

class PortOwnerTeardown : public TerminalViewTest, public testing::WithParamInterface<OwnerCase> {
 protected:
  support::ScopedFakePort fake{kCom};
};

TEST_P(PortOwnerTeardown, PortGoesBeforeTheViewWithoutAUseAfterFree) {
  auto owner = std::make_unique<PortOwner>();
  owner->show();
  QPointer<TAdTerminal> view = owner->view;
  std::unique_ptr<Stream> stream;
  if (GetParam().open) {
    owner->comPort.SetOpen(true);
    ASSERT_TRUE(view->Receiving());
    stream = std::make_unique<Stream>(*fake);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return RowText(view->ActiveEmulator().Buffer(), ScreenRow(1)) == "streaming data line";
        },
        10000));
  } else {
    ASSERT_TRUE(view->Pending());
  }
  owner.reset();
  stream.reset();
  EXPECT_TRUE(view.isNull());
  EXPECT_FALSE(fake->IsOpen());
  Settle();
}

INSTANTIATE_TEST_SUITE_P(Views, PortOwnerTeardown,
                         testing::Values(OwnerCase{"OpenAndStreaming", true},
                                         OwnerCase{"NeverOpened", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace terminal::test
