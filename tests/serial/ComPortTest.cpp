// TApdComPort over fake ports: properties, open and close, settings, flow
// control and the outputs.
#include <gtest/gtest.h>

#include "serial/ComPort.h"
#include "serial/ExceptionDisplay.h"
#include "serial/Exceptions.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/FakeCommPort.h"

namespace serial {
namespace {

using namespace testing_support;
using namespace platform;

constexpr int kCom = 211;
constexpr int kOtherCom = 212;

class ComPortTest : public testing::Test {
 protected:
  void SetUp() override {
    port_.SetComNumber(kCom);
    port_.SetPromptForPort(false);
  }
  support::ScopedFakePort fake_{kCom};
  support::ScopedFakePort otherFake_{kOtherCom};
  TApdComPort port_;
};

TEST(ComPortDefaultsTest, PublishedPropertiesStartAtTheirDefaults) {
  TApdComPort port;
  EXPECT_EQ(port.DeviceLayer(), dlWin32);
  EXPECT_EQ(port.ComNumber(), 0);
  EXPECT_EQ(port.Baud(), 19200);
  EXPECT_TRUE(port.PromptForPort());
  EXPECT_EQ(port.Parity(), pNone);
  EXPECT_EQ(port.DataBits(), 8);
  EXPECT_EQ(port.StopBits(), 1);
  EXPECT_EQ(port.InSize(), 4096);
  EXPECT_EQ(port.OutSize(), 4096);
  EXPECT_TRUE(port.AutoOpen());
  EXPECT_FALSE(port.Open());
  EXPECT_TRUE(port.DTR());
  EXPECT_TRUE(port.RTS());
  EXPECT_EQ(port.HWFlowOptions(), 0);
  EXPECT_EQ(port.SWFlowOptions(), swfNone);
  EXPECT_EQ(port.XOnChar(), 17);
  EXPECT_EQ(port.XOffChar(), 19);
  EXPECT_EQ(port.BufferFull(), 0);
  EXPECT_EQ(port.BufferResume(), 0);
  EXPECT_EQ(port.Tracing(), tlOff);
  EXPECT_EQ(port.Logging(), tlOff);
  EXPECT_EQ(port.TraceSize(), 10000u);
  EXPECT_EQ(port.LogSize(), 10000u);
  EXPECT_TRUE(port.TraceHex());
  EXPECT_FALSE(port.TraceAllHex());
  EXPECT_TRUE(port.LogHex());
  EXPECT_FALSE(port.LogAllHex());
  EXPECT_TRUE(port.UseMSRShadow());
  EXPECT_TRUE(port.UseEventWord());
  EXPECT_EQ(port.CommNotificationLevel(), 10);
  EXPECT_EQ(port.TapiMode(), tmAuto);
  EXPECT_FALSE(port.RS485Mode());
  EXPECT_EQ(port.State(), PortState::Closed);
}

TEST(ComPortDefaultsTest, DiagnosticSizesAreClamped) {
  TApdComPort port;
  port.SetTraceSize(5000000);
  port.SetLogSize(20000000);
  EXPECT_EQ(port.TraceSize(), 4000000u);
  EXPECT_EQ(port.LogSize(), 16000000u);
  EXPECT_THROW(port.SetTracing(tlOn), ETracingNotEnabled);
  EXPECT_THROW(port.SetLogging(tlAppend), ELoggingNotEnabled);
  port.SetDeviceLayer(dlWinsock);
  EXPECT_EQ(port.DeviceLayer(), dlWin32);
}

TEST_F(ComPortTest, OpensAndClosesTheDevice) {
  port_.SetOpen(true);
  EXPECT_TRUE(port_.Open());
  EXPECT_EQ(port_.State(), PortState::Open);
  ASSERT_NE(port_.Dispatcher(), nullptr);
  EXPECT_TRUE(fake_->IsOpen());
  EXPECT_EQ(fake_->State().baudRate, 19200u);
  EXPECT_EQ(fake_->InQueueSize(), 4096u);
  port_.SetOpen(false);
  EXPECT_FALSE(port_.Open());
  EXPECT_EQ(port_.State(), PortState::Closed);
  EXPECT_EQ(port_.Dispatcher(), nullptr);
  EXPECT_FALSE(fake_->IsOpen());
}

TEST_F(ComPortTest, APortHeldByAnotherProgramFailsWithAlreadyOpen) {
  std::uint32_t error = 0;
  auto holder = OpenCommDevice("COM" + std::to_string(kCom), error);
  ASSERT_TRUE(holder);
  EXPECT_THROW(port_.SetOpen(true), EAlreadyOpen);
  EXPECT_FALSE(port_.Open());
  EXPECT_EQ(port_.State(), PortState::Closed);
  EXPECT_EQ(port_.Dispatcher(), nullptr);
}

TEST_F(ComPortTest, AMissingPortFailsWithBadId) {
  support::FakeCommPort::Unregister(kOtherCom);
  port_.SetComNumber(250);  // neither registered nor linked: /dev/ttyS249 is absent
  EXPECT_THROW(port_.SetOpen(true), EBadId);
  EXPECT_FALSE(port_.Open());
}

TEST_F(ComPortTest, NoPortNumberWithoutPromptingIsNoPortSelected) {
  port_.SetComNumber(0);
  EXPECT_THROW(port_.SetOpen(true), ENoPortSelected);
  port_.SetPromptForPort(true);
  port_.PortPromptHandler = [] { return std::optional<std::uint16_t>(); };
  EXPECT_THROW(port_.SetOpen(true), ENoPortSelected);
  EXPECT_FALSE(port_.Open());
}

TEST_F(ComPortTest, ThePromptsChoiceBecomesTheComNumber) {
  port_.SetComNumber(0);
  port_.SetPromptForPort(true);
  int asked = 0;
  port_.PortPromptHandler = [&] {
    ++asked;
    return std::optional<std::uint16_t>(kOtherCom);
  };
  port_.SetOpen(true);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(port_.ComNumber(), kOtherCom);
  EXPECT_TRUE(otherFake_->IsOpen());
}

TEST_F(ComPortTest, DefaultPromptIsGivenToNewComponents) {
  TApdCustomComPort::SetDefaultPortPrompt([] { return std::optional<std::uint16_t>(kCom); });
  TApdComPort port;
  TApdCustomComPort::SetDefaultPortPrompt(nullptr);
  port.SetOpen(true);
  EXPECT_EQ(port.ComNumber(), kCom);
}

TEST_F(ComPortTest, ValuesAssignedWhileClosedAreAppliedAtOpen) {
  port_.SetBaud(57600);
  port_.SetDataBits(7);
  port_.SetStopBits(2);
  port_.SetParity(pOdd);
  port_.SetDTR(false);
  port_.SetRTS(false);
  EXPECT_FALSE(fake_->IsOpen());
  port_.SetOpen(true);
  const CommState state = fake_->State();
  EXPECT_EQ(state.baudRate, 57600u);
  EXPECT_EQ(state.byteSize, 7);
  EXPECT_EQ(state.stopBits, kTwoStopBits);
  EXPECT_EQ(state.parity, kOddParity);
  EXPECT_FALSE(fake_->DtrOn());
  EXPECT_FALSE(fake_->RtsOn());
}

TEST_F(ComPortTest, AssigningTheCurrentLineSettingsWritesNothing) {
  port_.SetOpen(true);
  const int writes = fake_->StateWrites();
  port_.SetBaud(port_.Baud());
  port_.SetParity(port_.Parity());
  port_.SetDataBits(port_.DataBits());
  port_.SetStopBits(port_.StopBits());
  EXPECT_EQ(fake_->StateWrites(), writes);
  port_.SetParity(pEven);
  EXPECT_EQ(fake_->StateWrites(), writes + 1);
  EXPECT_EQ(fake_->State().parity, kEvenParity);
}

TEST_F(ComPortTest, ARefusedRateIsRaisedAndThePropertyKeepsTheNewValue) {
  fake_->SetRefuseState([](const CommState& s) { return s.baudRate == 12345; });
  port_.SetOpen(true);
  EXPECT_THROW(port_.SetBaud(12345), EInOutError);
  EXPECT_EQ(port_.Baud(), 12345);
  EXPECT_EQ(fake_->State().baudRate, 19200u);
}

struct FlowCase {
  const char* name;
  std::uint16_t inSize;
  THWFlowOptions hw;
  TSWFlowOptions sw;
  std::uint16_t full;
  std::uint16_t resume;
};

class FlowThresholdTest : public ComPortTest, public testing::WithParamInterface<FlowCase> {};

TEST_P(FlowThresholdTest, ZeroThresholdsBecomeSharesOfTheInputSize) {
  const FlowCase& c = GetParam();
  port_.SetInSize(c.inSize);
  port_.SetHWFlowOptions(c.hw);
  port_.SetSWFlowOptions(c.sw);
  EXPECT_EQ(port_.BufferFull(), c.full);
  EXPECT_EQ(port_.BufferResume(), c.resume);
  port_.SetOpen(true);
  EXPECT_EQ(port_.BufferFull(), c.full);
  EXPECT_EQ(fake_->State().xoffLim, c.inSize - c.full);
  EXPECT_EQ(fake_->State().xonLim, c.resume);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FlowThresholdTest,
    testing::Values(FlowCase{"RtsHandshake4096", 4096, hwfUseRTS, swfNone, 3686, 410},
                    FlowCase{"XonXoff4096", 4096, 0, swfBoth, 3072, 1024},
                    FlowCase{"DtrDsr1000", 1000, hwfUseDTR | hwfRequireDSR, swfNone, 900, 100},
                    FlowCase{"HalvesToEvenDown", 5, hwfUseRTS, swfNone, 4, 0},
                    FlowCase{"HalvesToEvenUp", 15, hwfUseRTS, swfNone, 14, 2},
                    FlowCase{"ReceiveOnly10", 10, 0, swfReceive, 8, 2}),
    [](const testing::TestParamInfo<FlowCase>& info) { return info.param.name; });

TEST_F(ComPortTest, ThresholdAboveTheInputSizeIsReplaced) {
  port_.SetBufferFull(5000);
  EXPECT_EQ(port_.BufferFull(), 3686);
  port_.SetBufferResume(4000);
  EXPECT_EQ(port_.BufferResume(), 369);  // a tenth of BufferFull
}

TEST_F(ComPortTest, RtsAssignmentsAreIgnoredUnderHandshake) {
  port_.SetOpen(true);
  port_.SetHWFlowOptions(hwfUseRTS | hwfRequireCTS);
  EXPECT_EQ(fake_->State().rtsControl, kRtsControlHandshake);
  port_.SetRTS(false);
  EXPECT_TRUE(port_.RTS());
  port_.SetHWFlowOptions(0);
  port_.SetRTS(false);
  EXPECT_FALSE(port_.RTS());
  EXPECT_FALSE(fake_->RtsOn());
}

TEST_F(ComPortTest, DtrAndRtsDriveTheLinesWhileOpen) {
  port_.SetOpen(true);
  EXPECT_TRUE(fake_->DtrOn());
  EXPECT_TRUE(fake_->RtsOn());
  port_.SetDTR(false);
  EXPECT_FALSE(fake_->DtrOn());
  port_.SetRTS(false);
  EXPECT_FALSE(fake_->RtsOn());
  port_.SetDTR(true);
  EXPECT_TRUE(fake_->DtrOn());
}

TEST_F(ComPortTest, HandshakeAtOpenLeavesDtrToTheDevice) {
  port_.SetHWFlowOptions(hwfUseDTR | hwfRequireDSR);
  port_.SetOpen(true);
  EXPECT_EQ(fake_->State().dtrControl, kDtrControlHandshake);
  EXPECT_TRUE(fake_->State().outxDsrFlow);
  port_.SetDTR(false);
  EXPECT_TRUE(port_.DTR());
}

TEST_F(ComPortTest, RS485ModeDropsRtsFlowAndLetsRtsFollowTransmission) {
  port_.SetHWFlowOptions(hwfUseRTS | hwfRequireCTS | hwfUseDTR);
  port_.SetOpen(true);
  port_.SetRS485Mode(true);
  EXPECT_EQ(port_.HWFlowOptions(), hwfUseDTR);
  EXPECT_FALSE(port_.RTS());
  EXPECT_EQ(fake_->State().rtsControl, kRtsControlToggle);
  port_.SetHWFlowOptions(hwfUseRTS);
  EXPECT_FALSE(port_.RS485Mode());
}

struct RS485FlowCase {
  const char* name;
  THWFlowOptions options;
  std::uint8_t rtsControl;  // what the device holds afterwards
};

class RS485FlowTest : public ComPortTest, public testing::WithParamInterface<RS485FlowCase> {};

// Handshake on RTS or CTS ends RS485 mode on the device too, not only in the
// properties.
TEST_P(RS485FlowTest, HandshakeOnRtsOrCtsEndsTheModeOnTheDevice) {
  port_.SetOpen(true);
  port_.SetRS485Mode(true);
  ASSERT_EQ(fake_->State().rtsControl, kRtsControlToggle);
  port_.SetHWFlowOptions(GetParam().options);
  EXPECT_FALSE(port_.RS485Mode());
  EXPECT_EQ(port_.HWFlowOptions(), GetParam().options);
  EXPECT_EQ(fake_->State().rtsControl, GetParam().rtsControl);
}

INSTANTIATE_TEST_SUITE_P(
    Options, RS485FlowTest,
    testing::Values(RS485FlowCase{"RtsHandshake", hwfUseRTS, kRtsControlHandshake},
                    RS485FlowCase{"CtsRequired", hwfRequireCTS, kRtsControlDisable}),
    [](const testing::TestParamInfo<RS485FlowCase>& info) { return info.param.name; });

TEST_F(ComPortTest, LeavingRS485ModeKeepsRtsOffAsThePropertySays) {
  port_.SetOpen(true);
  ASSERT_TRUE(fake_->RtsOn());
  port_.SetRS485Mode(true);
  port_.SetRS485Mode(false);
  EXPECT_FALSE(port_.RTS());
  EXPECT_FALSE(fake_->RtsOn());
  EXPECT_EQ(fake_->State().rtsControl, kRtsControlDisable);
}

TEST_F(ComPortTest, ClosedPortReadsAsIdle) {
  EXPECT_EQ(port_.OutputFree(), 4096);
  port_.SetOutSize(100);
  EXPECT_EQ(port_.OutputFree(), 100);
  EXPECT_FALSE(port_.CtsOn());
  EXPECT_FALSE(port_.DsrOn());
  EXPECT_FALSE(port_.RiOn());
  EXPECT_FALSE(port_.DcdOn());
  EXPECT_FALSE(port_.CtsChanged());
  EXPECT_FALSE(fake_->IsOpen()) << "readers do not open the port";
  port_.DeleteTrigger(8);
}

TEST_F(ComPortTest, OperationsOpenThePortWhenAutoOpenIsSet) {
  port_.SendChar('x');
  EXPECT_TRUE(port_.Open());
  ASSERT_TRUE(fake_->WaitForWritten(1, kTimeout));
  EXPECT_EQ(fake_->TakeWritten(), Bytes("x"));
}

TEST_F(ComPortTest, OperationsWithoutAutoOpenRaiseNotOpen) {
  port_.SetAutoOpen(false);
  EXPECT_THROW(port_.SendText("x"), ECommNotOpen);
  EXPECT_THROW(port_.CreateStatusTrigger(kStatusModem), ECommNotOpen);
  EXPECT_FALSE(port_.Open());
}

TEST_F(ComPortTest, SendTextGoesOutAsOneBlockAndReceiveCharTakesBytes) {
  port_.SetOpen(true);
  port_.SendText("hello");
  ASSERT_TRUE(fake_->WaitForWritten(5, kTimeout));
  EXPECT_EQ(fake_->TakeWritten(), Bytes("hello"));
  fake_->Receive("ok");
  ASSERT_TRUE(PumpUntil([&] { return port_.Dispatcher()->InputAvailable() == 2; }));
  EXPECT_EQ(port_.ReceiveChar(), 'o');
  EXPECT_EQ(port_.ReceiveChar(), 'k');
  EXPECT_THROW(port_.ReceiveChar(), EBufferIsEmpty);
}

TEST_F(ComPortTest, TextLargerThanTheRoomIsRefusedWhole) {
  port_.SetOutSize(8);
  port_.SetOpen(true);
  fake_->SetWritesStuck(true);
  port_.SendText("12345");
  EXPECT_THROW(port_.SendText("6789"), EOutputBufferTooSmall);
  EXPECT_EQ(port_.OutputFree(), 3);
  fake_->SetWritesStuck(false);
}

TEST_F(ComPortTest, TriggerArgumentsAreChecked) {
  port_.SetOpen(true);
  EXPECT_THROW(port_.CreateStatusTrigger(6), EBadArgument);
  EXPECT_THROW(port_.ArmStatusTrigger(4000, 1, true), EBadTriggerHandle);
  EXPECT_THROW(port_.DeleteTrigger(4000), EBadTriggerHandle);
  const std::uint16_t handle = port_.CreateStatusTrigger(kStatusModem);
  EXPECT_EQ(handle, 8 | kStatusModem);
  port_.DeleteTrigger(handle);
  EXPECT_THROW(port_.ArmStatusTrigger(handle, 1, true), EBadTriggerHandle);
}

TEST_F(ComPortTest, TriggerSetSurvivesCloseAndOpen) {
  port_.SetOpen(true);
  const std::uint16_t modem = port_.CreateStatusTrigger(kStatusModem);
  const std::uint16_t free = port_.CreateStatusTrigger(kStatusOutBuffFree);
  port_.SetOpen(false);
  port_.SetOpen(true);
  port_.ArmStatusTrigger(modem, 0xB4, true);
  port_.ArmStatusTrigger(free, 100, true);
  EXPECT_EQ(port_.CreateStatusTrigger(kStatusModem), 24 | kStatusModem);
}

TEST_F(ComPortTest, ChangingComNumberWhileOpenMovesThePortAndKeepsTriggers) {
  port_.SetOpen(true);
  const std::uint16_t modem = port_.CreateStatusTrigger(kStatusModem);
  port_.SetComNumber(kOtherCom);
  EXPECT_TRUE(port_.Open());
  EXPECT_FALSE(fake_->IsOpen());
  EXPECT_TRUE(otherFake_->IsOpen());
  port_.ArmStatusTrigger(modem, kModemCts, true);
}

TEST_F(ComPortTest, ModemReadersClearChangeBits) {
  port_.SetOpen(true);
  ASSERT_TRUE(
      WhenHandled(*port_.Dispatcher(), [&] { fake_->SetModemLines(kMsCtsOn | kMsRlsdOn); }));
  EXPECT_TRUE(port_.CtsChanged());
  EXPECT_FALSE(port_.CtsChanged());
  EXPECT_TRUE(port_.DcdOn());
  EXPECT_FALSE(port_.DcdChanged()) << "reading the line cleared its change bit";
  EXPECT_TRUE(port_.CtsOn());
  EXPECT_FALSE(port_.DsrOn());
  EXPECT_FALSE(port_.RiOn());
}

TEST_F(ComPortTest, PurgesDiscardPendingData) {
  port_.SetOpen(true);
  fake_->Receive("abc");
  ASSERT_TRUE(PumpUntil([&] { return port_.Dispatcher()->InputAvailable() == 3; }));
  port_.PurgeInput();
  EXPECT_EQ(port_.Dispatcher()->InputAvailable(), 0u);
  fake_->SetWritesStuck(true);
  port_.SendText("abc");
  port_.PurgeOutput();
  EXPECT_EQ(port_.OutputFree(), 4096);
  fake_->SetWritesStuck(false);
}

TEST_F(ComPortTest, LoadingRecordsOpenAndLoadedOpens) {
  port_.BeginLoading();
  port_.SetOpen(true);
  EXPECT_TRUE(port_.Open());
  EXPECT_FALSE(fake_->IsOpen());
  port_.Loaded();
  EXPECT_TRUE(fake_->IsOpen());
  EXPECT_EQ(port_.State(), PortState::Open);
}

TEST_F(ComPortTest, AFailedOpenWhenLoadingEndsIsShownAndResetsOpen) {
  std::vector<std::string> shown;
  SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  port_.SetComNumber(250);
  port_.BeginLoading();
  port_.SetOpen(true);
  port_.Loaded();
  SetExceptionDisplay(nullptr);
  EXPECT_FALSE(port_.Open());
  EXPECT_EQ(shown, std::vector<std::string>{"ie_BadId - Specified comport doesn't exist"});
}

TEST_F(ComPortTest, VanishedDeviceStillCloses) {
  port_.SetOpen(true);
  fake_->Vanish();
  EXPECT_FALSE(port_.CtsOn());
  port_.SetOpen(false);
  EXPECT_EQ(port_.State(), PortState::Closed);
}

TEST_F(ComPortTest, InputSizeChangeWhileOpenResizesTheDeviceQueues) {
  port_.SetOpen(true);
  port_.SetInSize(2048);
  EXPECT_EQ(fake_->InQueueSize(), 2048u);
  port_.SetOutSize(1024);
  EXPECT_EQ(fake_->OutQueueSize(), 1024u);
}

}  // namespace
}  // namespace serial
