// Handlers coming and going, window delivery, closing and stopping, and a
// device that vanishes, over a fake port.
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/ErrorCodes.h"
#include "serial/ExceptionDisplay.h"
#include "tests/serial/DispatcherFixture.h"

namespace serial {
namespace {

using namespace testing_support;
using namespace platform;
using DispatcherLifecycleTest = DispatcherFixture;

TEST_F(DispatcherLifecycleTest, RegistryFindsTheDispatcherByHandle) {
  EXPECT_EQ(TApdBaseDispatcher::FromHandle(dispatcher_->Handle()), dispatcher_.get());
  TApdWin32Dispatcher second;
  EXPECT_NE(second.Handle(), dispatcher_->Handle());
  EXPECT_EQ(TApdBaseDispatcher::FromHandle(second.Handle()), &second);
}

TEST_F(DispatcherLifecycleTest, SecondOpenOfTheSameDispatcherIsRefused) {
  PortOpenSettings settings;
  settings.deviceName = "\\\\.\\COM" + std::to_string(kCom);
  EXPECT_EQ(dispatcher_->InitializePort(settings), ecAlreadyOpen);
  EXPECT_TRUE(dispatcher_->Started());
}

TEST_F(DispatcherLifecycleTest, APortHeldElsewhereIsAccessDenied) {
  TApdWin32Dispatcher second;
  PortOpenSettings settings;
  settings.deviceName = "\\\\.\\COM" + std::to_string(kCom);
  EXPECT_EQ(second.InitializePort(settings), -5);
  EXPECT_FALSE(second.DeviceOpen());
}

TEST_F(DispatcherLifecycleTest, HandlerRemovedInsideItsOwnCallFinishesAndIsDropped) {
  int selfCalls = 0;
  bool finished = false;
  dispatcher_->AddEventHandler(&selfCalls, [&](UINT msg, WPARAM, LPARAM) {
    if (msg != kMsgTriggerAvail) return;
    ++selfCalls;
    dispatcher_->RemoveEventHandler(&selfCalls);
    std::uint8_t two[2];
    EXPECT_EQ(dispatcher_->TakeInput(two, 2), 0);
    finished = true;
  });
  RecordEvents();
  dispatcher_->SetAvailThreshold(1);
  Feed("abcd");
  EXPECT_TRUE(finished);
  EXPECT_EQ(DataMessages().size(), 1u);
  EXPECT_EQ(dispatcher_->InputAvailable(), 2u);
  Feed("ef");
  EXPECT_EQ(selfCalls, 1);
  EXPECT_EQ(DataMessages().size(), 2u);
}

TEST_F(DispatcherLifecycleTest, ClosingFromADataHandlerStopsTheDeliveryAndReleasesBuffers) {
  int closerCalls = 0;
  dispatcher_->AddEventHandler(&closerCalls, [&](UINT msg, WPARAM, LPARAM) {
    if (msg != kMsgTriggerAvail) return;
    ++closerCalls;
    dispatcher_->CloseDevice();
    EXPECT_TRUE(dispatcher_->Closing());
  });
  RecordEvents();
  dispatcher_->SetAvailThreshold(1);
  port_->Receive("abcd");
  ASSERT_TRUE(PumpUntil([&] { return !dispatcher_->Started(); }));
  EXPECT_EQ(closerCalls, 1);
  EXPECT_TRUE(DataMessages().empty()) << "the handler after the closer must not run";
  EXPECT_EQ(dispatcher_->InputAvailable(), 0u);
  const std::uint8_t byte = 1;
  EXPECT_EQ(dispatcher_->QueueOutput(&byte, 1), ecCommNotOpen);
  dispatcher_.reset();
  EXPECT_FALSE(port_->IsOpen());
}

TEST_F(DispatcherLifecycleTest, AHandlerThatThrowsIsShownAndTheOthersStillRun) {
  std::vector<std::string> shown;
  SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  dispatcher_->AddEventHandler(&shown, [](UINT msg, WPARAM, LPARAM) {
    if (msg == kMsgTriggerAvail) throw std::runtime_error("handler failed");
  });
  RecordEvents(-1);
  dispatcher_->SetAvailThreshold(1);
  Feed("abc");
  Feed("de");
  SetExceptionDisplay(nullptr);
  EXPECT_EQ(shown, (std::vector<std::string>{"handler failed", "handler failed"}));
  EXPECT_EQ(Taken(), Bytes("abcde"));
}

class WindowRecorder {
 public:
  WindowRecorder()
      : window_(CreateMessageWindow([this](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
          recorder.Add(msg, w, l);
          return 0;
        })) {}
  ~WindowRecorder() { DestroyMessageWindow(window_); }
  HWND Window() const { return window_; }
  Recorder recorder;

 private:
  HWND window_;
};

TEST_F(DispatcherLifecycleTest, ASingleWindowHandlerIsServedOnlyWithThePortHandlerInstalled) {
  WindowRecorder window;
  dispatcher_->AddWindowHandler(window.Window());
  dispatcher_->SetAvailThreshold(0);
  RecordEvents();  // a witness; it makes delivery run
  dispatcher_->RemoveEventHandler(&recorder_);
  dispatcher_->SetAvailThreshold(1);
  Feed("a");
  ProcessMessages();
  EXPECT_EQ(window.recorder.Count(), 0u);

  dispatcher_->RecomputeDelivery(TApdBaseDispatcher::DeliveryRequest::PortHandlerInstalled);
  port_->Receive("b");
  ASSERT_TRUE(PumpUntil([&] { return window.recorder.Count() == 1; }));
  EXPECT_EQ(window.recorder.Messages()[0].msg, kMsgTriggerAvail);
}

// The port's own window is spared the messages it raises no event for.
TEST_F(DispatcherLifecycleTest, ThePortWindowIsSentOnlyTheMessagesItTakes) {
  WindowRecorder window;
  dispatcher_->AddWindowHandler(window.Window());
  dispatcher_->SetPortHandlerMessages(TriggerMessageBit(kMsgTriggerStatus));
  dispatcher_->RecomputeDelivery(TApdBaseDispatcher::DeliveryRequest::PortHandlerInstalled);
  dispatcher_->SetAvailThreshold(1);
  RecordEvents(-1);  // a witness that the arrival was delivered
  Feed("a");
  ProcessMessages();
  ASSERT_EQ(recorder_.Count(), 1u);
  EXPECT_EQ(window.recorder.Count(), 0u);

  dispatcher_->SetPortHandlerMessages(TriggerMessageBit(kMsgTriggerAvail));
  port_->Receive("b");
  ASSERT_TRUE(PumpUntil([&] { return window.recorder.Count() == 1; }));
  EXPECT_EQ(window.recorder.Messages()[0].msg, kMsgTriggerAvail);
}

TEST_F(DispatcherLifecycleTest, TwoWindowHandlersAreBothServed) {
  WindowRecorder first;
  WindowRecorder second;
  dispatcher_->AddWindowHandler(first.Window());
  dispatcher_->AddWindowHandler(second.Window());
  dispatcher_->SetAvailThreshold(1);
  port_->Receive("xyz");
  ASSERT_TRUE(
      PumpUntil([&] { return first.recorder.Count() == 1 && second.recorder.Count() == 1; }));
  EXPECT_EQ(second.recorder.Messages()[0].wParam, 3u);
  dispatcher_->RemoveWindowHandler(second.Window());
  dispatcher_->RecomputeDelivery(TApdBaseDispatcher::DeliveryRequest::PortHandlerInstalled);
  port_->Receive("w");
  ASSERT_TRUE(PumpUntil([&] { return first.recorder.Count() == 2; }));
  EXPECT_EQ(second.recorder.Count(), 1u);
}

// The dispatch thread is blocked in a send to the very thread that closes:
// the close must deliver that send while it waits.
TEST_F(DispatcherLifecycleTest, CloseDeliversASendThatWaitsForTheClosingThread) {
  WindowRecorder window;
  dispatcher_->AddWindowHandler(window.Window());
  dispatcher_->RecomputeDelivery(TApdBaseDispatcher::DeliveryRequest::PortHandlerInstalled);
  dispatcher_->SetAvailThreshold(1);
  port_->Receive("abc");
  while (port_->InputPending() > 0) std::this_thread::yield();
  dispatcher_->CloseDevice();
  dispatcher_.reset();
  EXPECT_EQ(window.recorder.Count(), 1u);
}

// Waiting for a delivery to end processes messages without spinning a core.
TEST_F(DispatcherLifecycleTest, WaitingForAThreadToEndDoesNotSpin) {
  std::promise<void> entered;
  std::promise<void> release;
  auto released = release.get_future().share();
  dispatcher_->AddEventHandler(&entered, [&, released](UINT msg, WPARAM, LPARAM) {
    if (msg != kMsgTriggerAvail) return;
    entered.set_value();
    released.wait();
  });
  dispatcher_->SetAvailThreshold(1);
  port_->Receive("a");
  entered.get_future().wait();
  dispatcher_->CloseDevice();  // deferred: the delivery is running
  EXPECT_TRUE(dispatcher_->Closing());
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    release.set_value();
  });
  const ThreadCpuSample sample;
  dispatcher_.reset();  // waits for the threads
  const double cpuUsed = sample.BusiestThreadSince();
  releaser.join();
  EXPECT_LT(cpuUsed, 0.15) << "a thread used " << cpuUsed << " s of CPU in a wait of 600 ms";
}

// The dispatch thread waits in a send to a window whose handler raises; the
// stop delivers it: the error is shown and the stop completes.
TEST_F(DispatcherLifecycleTest, AHandlerRaisingWhileTheThreadsStopIsShownAndTheStopCompletes) {
  std::vector<std::string> shown;
  SetExceptionDisplay([&](const std::exception& error) { shown.push_back(error.what()); });
  const HWND window = CreateMessageWindow([](UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == kMsgTriggerAvail) throw std::runtime_error("handler failed");
    return 0;
  });
  dispatcher_->AddWindowHandler(window);
  dispatcher_->RecomputeDelivery(TApdBaseDispatcher::DeliveryRequest::PortHandlerInstalled);
  dispatcher_->SetAvailThreshold(1);
  port_->Receive("a");
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (!dispatcher_->Delivering() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(dispatcher_->Delivering());
  dispatcher_->CloseDevice();  // deferred: the send is waiting for this thread
  dispatcher_.reset();         // delivers the send while the threads stop
  SetExceptionDisplay(nullptr);
  DestroyMessageWindow(window);
  EXPECT_EQ(shown, std::vector<std::string>{"handler failed"});
}

TEST_F(DispatcherLifecycleTest, VanishedDeviceNeitherSpinsNorBlocksTheClose) {
  RecordEvents(-1);
  dispatcher_->SetAvailThreshold(1);
  port_->Vanish();
  const ThreadCpuSample sample;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double cpuUsed = sample.BusiestThreadSince();
  EXPECT_LT(cpuUsed, 0.05) << "a thread idle after a vanish used " << cpuUsed << " s of CPU";
  const auto bytes = Bytes("lost");
  EXPECT_EQ(dispatcher_->QueueOutput(bytes.data(), 4), 0);
  ASSERT_TRUE(PumpUntil([&] { return dispatcher_->OutputUsed() == 0; }))
      << "a failed write drops its data";
  EXPECT_EQ(dispatcher_->ReadModemStatus(0) & 0xF0, 0);
  dispatcher_->CloseDevice();
  EXPECT_FALSE(dispatcher_->Started());
}

TEST_F(DispatcherLifecycleTest, LineSettingsEqualToTheDevicesWriteNothing) {
  const int writes = port_->StateWrites();
  const auto state = port_->State();
  EXPECT_EQ(dispatcher_->ApplyLineSettings(static_cast<std::int32_t>(state.baudRate), state.parity,
                                           state.byteSize, 1),
            0);
  EXPECT_EQ(dispatcher_->ApplyLineSettings(0, 5, 9, 3), 0) << "sentinels keep every value";
  EXPECT_EQ(port_->StateWrites(), writes);
  EXPECT_EQ(dispatcher_->ApplyLineSettings(0, kEvenParity, 9, 3), 0);
  EXPECT_EQ(port_->StateWrites(), writes + 1);
  EXPECT_EQ(port_->State().parity, kEvenParity);
  EXPECT_EQ(port_->State().baudRate, state.baudRate);
}

struct LineCase {
  std::int32_t baud;
  std::uint8_t parity;
  std::uint16_t dataBits;
  std::uint16_t stopBits;
  std::uint32_t expectBaud;
  std::uint8_t expectByteSize;
  std::uint8_t expectStopBits;
};

class LineSettingsTest : public DispatcherFixture, public testing::WithParamInterface<LineCase> {};

TEST_P(LineSettingsTest, NormalisesAndWritesTheDeviceState) {
  const LineCase& c = GetParam();
  ASSERT_EQ(dispatcher_->ApplyLineSettings(c.baud, c.parity, c.dataBits, c.stopBits), 0);
  const CommState state = port_->State();
  EXPECT_EQ(state.baudRate, c.expectBaud);
  EXPECT_EQ(state.byteSize, c.expectByteSize);
  EXPECT_EQ(state.stopBits, c.expectStopBits);
  EXPECT_TRUE(state.binary);
  EXPECT_FALSE(state.parityCheck);
  EXPECT_TRUE(state.txContinueOnXoff);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineSettingsTest,
                         testing::Values(LineCase{115200, 0, 8, 1, 115200, 8, kOneStopBit},
                                         LineCase{38400, 0, 7, 2, 38400, 7, kTwoStopBits},
                                         LineCase{9600, 0, 5, 2, 9600, 5, kOne5StopBits},
                                         LineCase{57600, 0, 8, 0, 57600, 8, kOneStopBit},
                                         LineCase{57600, 0, 8, 7, 57600, 8, kTwoStopBits},
                                         LineCase{0, 0, 6, 1, 19200, 6, kOneStopBit}));

TEST_F(DispatcherLifecycleTest, RefusedLineSettingsGiveMinusTheSystemError) {
  port_->SetRefuseState([](const CommState& s) { return s.baudRate == 250000; });
  EXPECT_EQ(dispatcher_->ApplyLineSettings(250000, 0, 8, 1), -87);
  EXPECT_EQ(port_->State().baudRate, 19200u);
}

TEST_F(DispatcherLifecycleTest, FlowThresholdsOutOfOrderAreABadArgument) {
  EXPECT_EQ(dispatcher_->SetHardwareFlow(kFlowUseRts, 100, 200), ecBadArgument);
  EXPECT_EQ(dispatcher_->SetHardwareFlow(kFlowUseRts, 5000, 100), ecBadArgument);
  EXPECT_EQ(dispatcher_->SetSoftwareFlow(kSoftFlowReceive, 100, 200), ecBadArgument);
  EXPECT_EQ(dispatcher_->SetSoftwareFlow(0, 100, 200), 0) << "no flow needs no thresholds";
}

TEST_F(DispatcherLifecycleTest, HardwareFlowProgramsTheDevice) {
  ASSERT_EQ(dispatcher_->SetHardwareFlow(kFlowUseRts | kFlowRequireCts, 3686, 410), 0);
  CommState state = port_->State();
  EXPECT_EQ(state.rtsControl, kRtsControlHandshake);
  EXPECT_TRUE(state.outxCtsFlow);
  EXPECT_FALSE(state.outxDsrFlow);
  EXPECT_EQ(state.dtrControl, kDtrControlEnable);
  EXPECT_EQ(state.xoffLim, 4096 - 3686);
  EXPECT_EQ(state.xonLim, 410);
  EXPECT_TRUE(dispatcher_->RtsAutomatic());
  EXPECT_FALSE(dispatcher_->DtrAutomatic());
  const bool rts = port_->RtsOn();
  EXPECT_EQ(dispatcher_->SetRts(!rts), 0);
  EXPECT_EQ(port_->RtsOn(), rts) << "RTS under handshake is not ours to drive";
}

TEST_F(DispatcherLifecycleTest, SoftwareFlowFollowsItsFlagsInBothDirections) {
  ASSERT_EQ(dispatcher_->SetSoftwareFlow(kSoftFlowReceive | kSoftFlowTransmit, 3072, 1024), 0);
  EXPECT_TRUE(port_->State().inX);
  EXPECT_TRUE(port_->State().outX);
  EXPECT_EQ(port_->State().xoffLim, 1024);
  ASSERT_EQ(dispatcher_->SetSoftwareFlow(kSoftFlowTransmit, 3072, 1024), 0);
  EXPECT_FALSE(port_->State().inX) << "leaving receive flow turns it off";
  EXPECT_TRUE(port_->State().outX);
  ASSERT_EQ(dispatcher_->SetSoftwareFlow(0, 0, 0), 0);
  EXPECT_FALSE(port_->State().outX);
}

}  // namespace
}  // namespace serial
