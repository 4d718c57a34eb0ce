// Status triggers, handles and the modem and line state, over a fake port.
#include "serial/ErrorCodes.h"
#include "tests/serial/DispatcherFixture.h"

namespace serial {
namespace {

using namespace testing_support;
using namespace platform;
using DispatcherTriggerTest = DispatcherFixture;

struct StatusCase {
  const char* name;
  std::uint32_t kind;
  std::uint16_t value;
  std::function<void(support::FakeCommPort&, TApdBaseDispatcher&)> prepare;  // before arming
  std::function<void(support::FakeCommPort&, TApdBaseDispatcher&)> action;   // after arming
  bool fires;
  std::uint16_t passed;  // the value passed with the message when it fires
};

class StatusTriggerTest : public DispatcherFixture,
                          public testing::WithParamInterface<StatusCase> {};

TEST_P(StatusTriggerTest, FiresWhenItsConditionHolds) {
  const StatusCase& c = GetParam();
  RecordEvents();
  const std::int32_t handle = dispatcher_->CreateStatusTrigger(c.kind);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(handle & 7, static_cast<std::int32_t>(c.kind));
  if (c.prepare) c.prepare(*port_, *dispatcher_);
  ASSERT_EQ(dispatcher_->ArmStatusTrigger(static_cast<std::uint16_t>(handle), c.value, true), 0);
  if (c.action) Act([&] { c.action(*port_, *dispatcher_); });
  WaitForPasses(2);
  const auto count = StatusMessages(static_cast<std::uint16_t>(handle));
  EXPECT_EQ(count, c.fires ? 1u : 0u);
  if (c.fires && count == 1) {
    for (const Message& m : recorder_.Messages()) {
      if (m.msg == kMsgTriggerStatus && m.wParam == static_cast<WPARAM>(handle)) {
        EXPECT_EQ(m.lParam & 0xFFFF, c.passed);
      }
    }
  }
}

void Queue(TApdBaseDispatcher& dispatcher, std::uint32_t bytes) {
  std::vector<std::uint8_t> block(bytes, 'x');
  ASSERT_EQ(dispatcher.QueueOutput(block.data(), bytes), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StatusTriggerTest,
    testing::Values(
        StatusCase{"ModemLineInMask", kStatusModem, kModemCts, nullptr,
                   [](auto& port, auto&) { port.SetModemLines(kMsCtsOn); }, true, 0},
        StatusCase{"ModemLineOutsideMask", kStatusModem, kModemDsr, nullptr,
                   [](auto& port, auto&) { port.SetModemLines(kMsCtsOn); }, false, 0},
        StatusCase{"ModemRingChangeBit", kStatusModem, kModemRiChanged, nullptr,
                   [](auto& port, auto&) { port.SetModemLines(kMsRingOn); }, true, 0},
        StatusCase{"ParityErrorInMask", kStatusLineError, kArmParity, nullptr,
                   [](auto& port, auto&) { port.RaiseLineErrors(kCeRxParity); }, true, 0},
        StatusCase{"FramingErrorOutsideMask", kStatusLineError, kArmParity, nullptr,
                   [](auto& port, auto&) { port.RaiseLineErrors(kCeFrame); }, false, 0},
        StatusCase{"BreakInMask", kStatusLineError, kArmBreak, nullptr,
                   [](auto& port, auto&) { port.RaiseLineErrors(kCeBreak); }, true, 0},
        StatusCase{"OverrunInMask", kStatusLineError, kArmOverrun, nullptr,
                   [](auto& port, auto&) { port.RaiseLineErrors(kCeOverrun); }, true, 0},
        StatusCase{"OutputUsedAtMostLevel", kStatusOutBuffUsed, 0, nullptr, nullptr, true, 0},
        StatusCase{"OutputUsedAboveLevel", kStatusOutBuffUsed, 5,
                   [](auto& port, auto& dispatcher) {
                     port.SetWritesStuck(true);
                     Queue(dispatcher, 10);
                   },
                   [](auto& port, auto&) { port.SetModemLines(kMsCtsOn); },  // an event to wait on
                   false, 0},
        StatusCase{"OutputFreeAtLeastLevel", kStatusOutBuffFree, 100, nullptr, nullptr, true, 4096},
        StatusCase{"OutputSentAfterQueueing", kStatusOutSent, 0, nullptr,
                   [](auto& port, auto& dispatcher) {
                     Queue(dispatcher, 3);
                     port.SetModemLines(kMsDsrOn);
                   },
                   true, 0},
        StatusCase{"OutputSentWithoutQueueing", kStatusOutSent, 0, nullptr, nullptr, false, 0},
        StatusCase{"KindZeroNeverFires", 0, 0, nullptr, nullptr, false, 0}),
    [](const testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

TEST_F(DispatcherTriggerTest, OutputFreeTriggerFiresOnceUntilArmedAgain) {
  RecordEvents();
  const auto handle =
      static_cast<std::uint16_t>(dispatcher_->CreateStatusTrigger(kStatusOutBuffFree));
  ASSERT_EQ(dispatcher_->ArmStatusTrigger(handle, 10, true), 0);
  ASSERT_TRUE(PumpUntil([&] { return StatusMessages(handle) == 1; }));
  WaitForPasses(3);
  EXPECT_EQ(StatusMessages(handle), 1u);
  ASSERT_EQ(dispatcher_->ArmStatusTrigger(handle, 10, true), 0);
  ASSERT_TRUE(PumpUntil([&] { return StatusMessages(handle) == 2; }));
}

TEST_F(DispatcherTriggerTest, DisarmedTriggerStaysQuiet) {
  RecordEvents();
  const auto handle =
      static_cast<std::uint16_t>(dispatcher_->CreateStatusTrigger(kStatusOutBuffFree));
  ASSERT_EQ(dispatcher_->ArmStatusTrigger(handle, 10, false), 0);
  WaitForPasses(2);
  EXPECT_EQ(StatusMessages(handle), 0u);
}

TEST_F(DispatcherTriggerTest, RefusesBadKindsAndUnknownHandles) {
  EXPECT_EQ(dispatcher_->CreateStatusTrigger(6), ecBadArgument);
  EXPECT_EQ(dispatcher_->ArmStatusTrigger(999, 1, true), ecBadTriggerHandle);
  EXPECT_EQ(dispatcher_->RemoveTrigger(999), ecBadTriggerHandle);
}

TEST_F(DispatcherTriggerTest, RemovingHandleOneTurnsTheDataTriggerOff) {
  dispatcher_->SetAvailThreshold(5);
  EXPECT_EQ(dispatcher_->RemoveTrigger(kAvailTriggerHandle), 0);
  EXPECT_EQ(dispatcher_->AvailThreshold(), 0u);
}

TEST_F(DispatcherTriggerTest, HandlesCountUpThenReuseTheLowestFreeOnes) {
  for (std::uint32_t i = 1; i < 4096; ++i) {
    const std::uint32_t kind = i % 6;
    ASSERT_EQ(dispatcher_->CreateStatusTrigger(kind), static_cast<std::int32_t>(i * 8 | kind));
  }
  EXPECT_EQ(dispatcher_->CreateStatusTrigger(1), ecNoMoreTriggers);
  ASSERT_EQ(dispatcher_->RemoveTrigger(800 | (100 % 6)), 0);
  ASSERT_EQ(dispatcher_->RemoveTrigger(16 | 2), 0);
  EXPECT_EQ(dispatcher_->CreateStatusTrigger(3), 16 | 3);
  EXPECT_EQ(dispatcher_->CreateStatusTrigger(4), 800 | 4);
  EXPECT_EQ(dispatcher_->CreateStatusTrigger(4), ecNoMoreTriggers);
}

TEST_F(DispatcherTriggerTest, SavedTriggersComeBackWithTheirHandles) {
  const auto handle = static_cast<std::uint16_t>(dispatcher_->CreateStatusTrigger(kStatusModem));
  ASSERT_EQ(dispatcher_->ArmStatusTrigger(handle, kModemCts, true), 0);
  const SavedTriggers saved = dispatcher_->SaveTriggers();
  dispatcher_.reset();
  OpenDispatcher();
  EXPECT_EQ(dispatcher_->ArmStatusTrigger(handle, kModemCts, true), ecBadTriggerHandle);
  dispatcher_->RestoreTriggers(saved);
  RecordEvents();
  Act([&] { port_->SetModemLines(kMsCtsOn); });
  EXPECT_EQ(StatusMessages(handle), 1u);
  EXPECT_EQ(dispatcher_->CreateStatusTrigger(kStatusModem), 16 | kStatusModem);
}

TEST_F(DispatcherTriggerTest, ModemChangeBitsAccumulateUntilRead) {
  Act([&] { port_->SetModemLines(kMsCtsOn | kMsDsrOn); });
  std::uint8_t status = dispatcher_->ReadModemStatus(kModemCtsChanged);
  EXPECT_EQ(status & 0xF0, kModemCts | kModemDsr);
  EXPECT_EQ(status & 0x0F, kModemCtsChanged | kModemDsrChanged);
  status = dispatcher_->ReadModemStatus(0);
  EXPECT_EQ(status & 0x0F, kModemDsrChanged);
  Act([&] { port_->SetModemLines(kMsDsrOn | kMsRlsdOn); });
  status = dispatcher_->ReadModemStatus(0xFF);
  EXPECT_EQ(status & 0xF0, kModemDsr | kModemDcd);
  EXPECT_EQ(status & 0x0F, kModemDsrChanged | kModemCtsChanged | kModemDcdChanged);
  EXPECT_EQ(dispatcher_->ReadModemStatus(0) & 0x0F, 0);
}

TEST_F(DispatcherTriggerTest, RingEventSetsTheRingChangeBit) {
  Act([&] { port_->SetModemLines(kMsRingOn); });
  EXPECT_EQ(dispatcher_->ReadModemStatus(kModemRiChanged) & (kModemRi | kModemRiChanged),
            kModemRi | kModemRiChanged);
}

TEST_F(DispatcherTriggerTest, LineErrorsAndBreakAreReadOnce) {
  Act([&] { port_->RaiseLineErrors(kCeRxParity | kCeBreak); });
  EXPECT_EQ(dispatcher_->LineError(), kLineParity);
  EXPECT_TRUE(dispatcher_->LineBreak());
  EXPECT_EQ(dispatcher_->LineError(), 0);
  EXPECT_FALSE(dispatcher_->LineBreak());
}

// Errors the device reports while output is queued are kept for the
// line-error trigger instead of being wiped by the send.
TEST_F(DispatcherTriggerTest, QueueingOutputKeepsPendingLineErrors) {
  RecordEvents();
  const auto handle =
      static_cast<std::uint16_t>(dispatcher_->CreateStatusTrigger(kStatusLineError));
  Act([&] { port_->RaiseLineErrors(kCeFrame); });
  const std::uint8_t byte = 'x';
  ASSERT_EQ(dispatcher_->QueueOutput(&byte, 1), 0);
  ASSERT_EQ(dispatcher_->ArmStatusTrigger(handle, kArmFraming, true), 0);
  ASSERT_TRUE(PumpUntil([&] { return StatusMessages(handle) == 1; }));
}

}  // namespace
}  // namespace serial
