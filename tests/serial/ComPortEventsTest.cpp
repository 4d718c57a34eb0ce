// TApdComPort's events, user notifications and closing from inside events,
// over fake ports. The test thread is the component's GUI thread: it pumps.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "serial/ComPort.h"
#include "serial/ExceptionDisplay.h"
#include "serial/Exceptions.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/FakeCommPort.h"

namespace serial {
namespace {

using namespace testing_support;
using namespace platform;

constexpr int kCom = 221;

class ComPortEventsTest : public testing::Test {
 protected:
  void SetUp() override {
    port_.SetComNumber(kCom);
    port_.SetPromptForPort(false);
  }

  void Log(const std::string& entry) { log_.push_back(entry); }

  support::ScopedFakePort fake_{kCom};
  TApdComPort port_;
  std::vector<std::string> log_;
};

TEST_F(ComPortEventsTest, DataArrivalRaisesOnTriggerThenOnTriggerAvail) {
  port_.OnTrigger = [&](TApdCustomComPort&, std::uint16_t msg, std::uint16_t handle,
                        std::uint16_t data) {
    Log("trigger " + std::to_string(msg) + " " + std::to_string(handle) + " " +
        std::to_string(data));
  };
  port_.OnTriggerAvail = [&](TApdCustomComPort& cp, std::uint16_t count) {
    EXPECT_EQ(&cp, &port_);
    Log("avail " + std::to_string(count));
    for (int i = 0; i < count; ++i) cp.ReceiveChar();
  };
  port_.SetOpen(true);
  fake_->Receive("hello");
  ASSERT_TRUE(PumpUntil([&] { return log_.size() == 2; }));
  EXPECT_EQ(log_, (std::vector<std::string>{"trigger 32257 5 5", "avail 5"}));
}

struct StatusEventCase {
  const char* name;
  std::uint16_t kind;
  std::uint16_t armValue;
  std::function<void(support::FakeCommPort&, TApdCustomComPort&)> cause;
  const char* specificEvent;
};

class StatusEventTest : public ComPortEventsTest,
                        public testing::WithParamInterface<StatusEventCase> {};

TEST_P(StatusEventTest, RaisesOnTriggerOnTriggerStatusAndTheEventOfTheKind) {
  const StatusEventCase& c = GetParam();
  port_.OnTrigger = [&](TApdCustomComPort&, std::uint16_t msg, std::uint16_t, std::uint16_t) {
    Log("trigger " + std::to_string(msg));
  };
  port_.OnTriggerStatus = [&](TApdCustomComPort&, std::uint16_t) { Log("status"); };
  port_.OnTriggerModemStatus = [&](TApdCustomComPort&) { Log("modem"); };
  port_.OnTriggerLineError = [&](TApdCustomComPort&, std::uint16_t error, bool lineBreak) {
    Log("line error " + std::to_string(error) + (lineBreak ? " break" : ""));
  };
  port_.OnTriggerOutbuffFree = [&](TApdCustomComPort&) { Log("free"); };
  port_.OnTriggerOutbuffUsed = [&](TApdCustomComPort&) { Log("used"); };
  port_.OnTriggerOutSent = [&](TApdCustomComPort&) { Log("sent"); };
  port_.SetOpen(true);
  const std::uint16_t handle = port_.CreateStatusTrigger(c.kind);
  port_.ArmStatusTrigger(handle, c.armValue, true);
  if (c.cause) c.cause(*fake_, port_);
  ASSERT_TRUE(PumpUntil([&] { return log_.size() == 3; }));
  EXPECT_EQ(log_, (std::vector<std::string>{"trigger 32260", "status", c.specificEvent}));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StatusEventTest,
    testing::Values(
        StatusEventCase{"Modem", kStatusModem, kModemDsr,
                        [](auto& fake, auto&) { fake.SetModemLines(kMsDsrOn); }, "modem"},
        StatusEventCase{"LineError", kStatusLineError, kArmFraming | kArmBreak,
                        [](auto& fake, auto&) { fake.RaiseLineErrors(kCeFrame | kCeBreak); },
                        "line error 8 break"},
        StatusEventCase{"OutbuffFree", kStatusOutBuffFree, 10, nullptr, "free"},
        StatusEventCase{"OutbuffUsed", kStatusOutBuffUsed, 0, nullptr, "used"},
        StatusEventCase{"OutSent", kStatusOutSent, 0, [](auto&, auto& port) { port.SendChar('x'); },
                        "sent"}),
    [](const testing::TestParamInfo<StatusEventCase>& info) { return info.param.name; });

TEST_F(ComPortEventsTest, AssigningAnEventWhileOpenStartsTheMessages) {
  port_.SetOpen(true);
  ASSERT_TRUE(WhenHandled(*port_.Dispatcher(), [&] { fake_->Receive("ab"); }));
  ProcessMessages();
  std::vector<std::uint16_t> counts;
  port_.OnTriggerAvail = [&](TApdCustomComPort&, std::uint16_t count) { counts.push_back(count); };
  fake_->Receive("c");
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 1; }));
  EXPECT_EQ(counts[0], 3) << "the bytes that came before are counted too";
  port_.OnTriggerAvail = nullptr;
  ASSERT_TRUE(WhenHandled(*port_.Dispatcher(), [&] { fake_->Receive("d"); }));
  ProcessMessages();
  EXPECT_EQ(counts.size(), 1u);
}

class UserWindow {
 public:
  UserWindow(std::vector<std::string>& log, std::string name)
      : window_(CreateMessageWindow([&log, name](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
          log.push_back(name + " " + std::to_string(msg) + " " + std::to_string(w) + " " +
                        std::to_string(l));
          return 0;
        })) {}
  ~UserWindow() { DestroyMessageWindow(window_); }
  HWND Window() const { return window_; }

 private:
  HWND window_;
};

TEST_F(ComPortEventsTest, UsersAreToldOfOpenAndCloseNewestFirst) {
  UserWindow first(log_, "first");
  UserWindow second(log_, "second");
  port_.AddPortUser(first.Window());
  port_.AddPortUser(second.Window());
  port_.SetOpen(true);
  port_.SetOpen(false);
  EXPECT_EQ(log_, (std::vector<std::string>{"second 32264 0 0", "first 32264 0 0",
                                            "second 32265 0 0", "first 32265 0 0"}));
  port_.RemovePortUser(second.Window());
  log_.clear();
  port_.SetOpen(true);
  EXPECT_EQ(log_, (std::vector<std::string>{"first 32264 0 0"}));
}

TEST_F(ComPortEventsTest, ClosingFromInsideATriggerEventFinishesAfterTheEvent) {
  port_.OnTriggerAvail = [&](TApdCustomComPort& cp, std::uint16_t) {
    cp.SetOpen(false);
    EXPECT_EQ(cp.State(), PortState::Closing);
    EXPECT_EQ(cp.ReceiveChar(), 0) << "operations do nothing while closing";
    Log("closed inside");
  };
  port_.SetOpen(true);
  fake_->Receive("x");
  ASSERT_TRUE(PumpUntil([&] { return port_.State() == PortState::Closed; }));
  EXPECT_EQ(log_, std::vector<std::string>{"closed inside"});
  EXPECT_FALSE(port_.Open());
  EXPECT_EQ(port_.Dispatcher(), nullptr);
  EXPECT_FALSE(fake_->IsOpen());
}

TEST_F(ComPortEventsTest, AnOpenAskedForWhileClosingHappensWhenTheCloseEnds) {
  port_.OnTriggerAvail = [&](TApdCustomComPort& cp, std::uint16_t) {
    if (fake_->OpenCount() > 1) return;
    cp.SetOpen(false);
    cp.SetOpen(true);
  };
  port_.SetOpen(true);
  fake_->Receive("x");
  ASSERT_TRUE(PumpUntil([&] { return fake_->OpenCount() == 2; }));
  EXPECT_EQ(port_.State(), PortState::Open);
  EXPECT_TRUE(port_.Open());
  EXPECT_TRUE(fake_->IsOpen());
}

TEST_F(ComPortEventsTest, AnExceptionFromAnEventIsShownAndDeliveryGoesOn) {
  std::vector<std::string> shown;
  SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  int calls = 0;
  port_.OnTriggerAvail = [&](TApdCustomComPort& cp, std::uint16_t count) {
    ++calls;
    for (int i = 0; i < count; ++i) cp.ReceiveChar();
    throw std::runtime_error("event failed");
  };
  port_.SetOpen(true);
  fake_->Receive("a");
  ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
  fake_->Receive("b");
  ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
  SetExceptionDisplay(nullptr);
  EXPECT_EQ(shown, (std::vector<std::string>{"event failed", "event failed"}));
}

// A loopback run as the terminal window does it: output paced by the
// output-free trigger, input counted in the data-available event.
TEST_F(ComPortEventsTest, LoopbackPacedByTheOutputFreeTriggerLosesNothing) {
  fake_->SetLoopback(true);
  port_.SetOutSize(256);
  const std::string line = std::string(60, 'L') + "\r\n";
  const int lines = 200;
  int sent = 0;
  std::size_t received = 0;
  std::uint16_t freeTrigger = 0;
  port_.OnTriggerOutbuffFree = [&](TApdCustomComPort& cp) {
    while (sent < lines) {
      if (cp.OutputFree() < line.size()) {
        freeTrigger = cp.CreateStatusTrigger(kStatusOutBuffFree);
        cp.ArmStatusTrigger(freeTrigger, static_cast<std::uint16_t>(line.size()), true);
        return;
      }
      cp.SendText(line);
      ++sent;
    }
  };
  port_.OnTriggerAvail = [&](TApdCustomComPort& cp, std::uint16_t count) {
    received += count;
    for (int i = 0; i < count; ++i) cp.ReceiveChar();
  };
  port_.SetOpen(true);
  freeTrigger = port_.CreateStatusTrigger(kStatusOutBuffFree);
  port_.ArmStatusTrigger(freeTrigger, 100, true);
  ASSERT_TRUE(PumpUntil([&] { return received == lines * line.size(); }))
      << "sent " << sent << " received " << received;
  EXPECT_EQ(fake_->WrittenCount(), lines * line.size());
}

TEST_F(ComPortEventsTest, DestroyingAPortThatIsClosingWaitsForItsThreads) {
  auto port = std::make_unique<TApdComPort>();
  port->SetComNumber(kCom);
  bool closed = false;
  port->OnTriggerAvail = [&](TApdCustomComPort& cp, std::uint16_t) {
    cp.SetOpen(false);
    closed = true;
  };
  port->SetOpen(true);
  fake_->Receive("x");
  ASSERT_TRUE(PumpUntil([&] { return closed; }));
  port.reset();
  EXPECT_FALSE(fake_->IsOpen());
}

// The terminal window clears its test's output-free event from inside that
// event (and a closing window clears every event); the running handler and
// what it holds must live until it returns.
struct ReassignCase {
  const char* name;
  bool replace;  // else cleared
};

class EventReassignedFromItsHandler : public ComPortEventsTest,
                                      public testing::WithParamInterface<ReassignCase> {};

TEST_P(EventReassignedFromItsHandler, TheRunningHandlerFinishesIntact) {
  const std::string held(64, 'h');  // on the heap, so a freed copy is caught
  int replacementCalls = 0;
  port_.OnTriggerOutbuffFree = [this, held, &replacementCalls](TApdCustomComPort& cp) {
    if (GetParam().replace)
      cp.OnTriggerOutbuffFree = [&replacementCalls](TApdCustomComPort&) { ++replacementCalls; };
    else
      cp.OnTriggerOutbuffFree = nullptr;
    Log(held);  // the handler's own state, after its event was reassigned
  };
  port_.SetOpen(true);
  const std::uint16_t trigger = port_.CreateStatusTrigger(kStatusOutBuffFree);
  port_.ArmStatusTrigger(trigger, 10, true);
  ASSERT_TRUE(PumpUntil([&] { return !log_.empty(); }));
  EXPECT_EQ(log_, std::vector<std::string>{held});
  EXPECT_EQ(static_cast<bool>(port_.OnTriggerOutbuffFree), GetParam().replace);
  port_.ArmStatusTrigger(trigger, 10, true);
  if (GetParam().replace) {
    ASSERT_TRUE(PumpUntil([&] { return replacementCalls == 1; }));
  }
  EXPECT_EQ(log_.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Events, EventReassignedFromItsHandler,
                         testing::Values(ReassignCase{"Replaced", true},
                                         ReassignCase{"Cleared", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A line-settings change waits on the GUI thread for queued output and for
// the line to settle; trigger messages sent meanwhile are answered at once,
// so none times out and is lost (a lost modem-status message stops the
// terminal window's lamps for good).
struct SettingsWaitCase {
  const char* name;
  std::int32_t baudBefore;  // 300: the change then settles for 18 characters at 300 baud
  bool outputQueued;        // output held in the device until the modem event
};

class LineSettingsWait : public ComPortEventsTest,
                         public testing::WithParamInterface<SettingsWaitCase> {};

TEST_P(LineSettingsWait, TriggerEventsRunWhileTheChangeWaits) {
  const SettingsWaitCase& c = GetParam();
  bool applying = false;
  bool ranDuringTheChange = false;
  port_.OnTriggerModemStatus = [&](TApdCustomComPort&) {
    ranDuringTheChange = applying;
    fake_->SetWritesStuck(false);
  };
  port_.SetOpen(true);
  port_.SetBaud(c.baudBefore);
  port_.ArmStatusTrigger(port_.CreateStatusTrigger(kStatusModem), kModemCts, true);
  if (c.outputQueued) {
    fake_->SetWritesStuck(true);
    port_.SendText("queued");
  }
  std::thread farEnd([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fake_->SetModemLines(kMsCtsOn);
  });
  applying = true;
  port_.SetBaud(9600);
  applying = false;
  farEnd.join();
  EXPECT_TRUE(ranDuringTheChange);
  EXPECT_EQ(fake_->State().baudRate, 9600u);
  EXPECT_EQ(fake_->TakeWritten(), Bytes(c.outputQueued ? "queued" : ""));
}

INSTANTIATE_TEST_SUITE_P(Waits, LineSettingsWait,
                         testing::Values(SettingsWaitCase{"WhileOutputDrains", 19200, true},
                                         SettingsWaitCase{"WhileTheLineSettles", 300, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComPortEventsTest, AHandlerFailingWhileALineChangeWaitsIsShownAndTheChangeCompletes) {
  std::vector<std::string> shown;
  SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  const HWND window = CreateMessageWindow(
      [](UINT, WPARAM, LPARAM) -> LRESULT { throw std::runtime_error("handler failed"); });
  port_.SetOpen(true);
  fake_->SetWritesStuck(true);
  port_.SendText("queued");
  std::thread farEnd([&] {
    PostMessage(window, WM_USER, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fake_->SetWritesStuck(false);
  });
  EXPECT_NO_THROW(port_.SetBaud(9600));
  farEnd.join();
  DestroyMessageWindow(window);
  SetExceptionDisplay(nullptr);
  EXPECT_EQ(shown, std::vector<std::string>{"handler failed"});
  EXPECT_EQ(fake_->State().baudRate, 9600u);
}

TEST_F(ComPortEventsTest, LineErrorsFromBeforeTheOpenAreNotReported) {
  fake_->RaiseLineErrors(kCeFrame);
  port_.SetOpen(true);  // the port's settings differ from the device's: they are applied
  EXPECT_EQ(port_.Dispatcher()->LineError(), 0);
}

TEST_F(ComPortEventsTest, LineErrorsReportedWhileOutputDrainsAreKept) {
  port_.SetOpen(true);
  // Holds the dispatch thread, so that only the drain reads the device's errors.
  std::promise<void> release;
  std::atomic<bool> holding{false};
  port_.Dispatcher()->AddEventHandler(
      this, [&holding, released = release.get_future().share()](UINT, WPARAM, LPARAM) {
        holding = true;
        released.wait();
      });
  fake_->Receive("x");
  ASSERT_TRUE(PumpUntil([&] { return holding.load(); }));
  fake_->SetWritesStuck(true);
  port_.SendText("queued");
  std::thread farEnd([&] {
    fake_->RaiseLineErrors(kCeFrame);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    fake_->SetWritesStuck(false);
  });
  port_.SetBaud(9600);
  farEnd.join();
  release.set_value();
  port_.Dispatcher()->RemoveEventHandler(this);
  EXPECT_EQ(port_.Dispatcher()->LineError() & kLineFraming, kLineFraming);
}

// The user may close a terminal window (a toolkit event) or a trigger event
// may close the port while a line change waits.
struct CloseDuringChangeCase {
  const char* name;
  bool fromTriggerEvent;  // else from a posted message
};

class CloseWhileALineChangeWaits : public ComPortEventsTest,
                                   public testing::WithParamInterface<CloseDuringChangeCase> {};

TEST_P(CloseWhileALineChangeWaits, TheChangeEndsAndThePortCloses) {
  auto close = [this] { port_.SetOpen(false); };
  const HWND window = CreateMessageWindow([&](UINT, WPARAM, LPARAM) -> LRESULT {
    close();
    return 0;
  });
  if (GetParam().fromTriggerEvent)
    port_.OnTriggerModemStatus = [&](TApdCustomComPort&) { close(); };
  port_.SetOpen(true);
  port_.ArmStatusTrigger(port_.CreateStatusTrigger(kStatusModem), kModemCts, true);
  fake_->SetWritesStuck(true);
  port_.SendText("queued");
  std::thread farEnd([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (GetParam().fromTriggerEvent)
      fake_->SetModemLines(kMsCtsOn);
    else
      PostMessage(window, WM_USER, 0, 0);
  });
  EXPECT_NO_THROW(port_.SetBaud(9600));
  farEnd.join();
  DestroyMessageWindow(window);
  EXPECT_EQ(port_.Baud(), 9600);
  EXPECT_FALSE(port_.Open());
  ASSERT_TRUE(PumpUntil([&] { return port_.State() == PortState::Closed; }));
  EXPECT_FALSE(fake_->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Waits, CloseWhileALineChangeWaits,
                         testing::Values(CloseDuringChangeCase{"FromATriggerEvent", true},
                                         CloseDuringChangeCase{"FromAPostedMessage", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace serial
