// The dispatcher's parts on their own: the output ring's single stretch and
// writer turns, the input buffer's delivery takes, the trigger set's checks
// on the ring's fill and the line state.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "serial/ErrorCodes.h"
#include "serial/InputBuffer.h"
#include "serial/OutputRing.h"
#include "serial/TriggerMessages.h"
#include "serial/TriggerSet.h"
#include "tests/support/FakeCommPort.h"

namespace serial {
namespace {

std::vector<std::uint8_t> Counting(std::uint32_t from, std::uint32_t count) {
  std::vector<std::uint8_t> bytes(count);
  std::iota(bytes.begin(), bytes.end(), static_cast<std::uint8_t>(from));
  return bytes;
}

// Queue first, write `written` of it, queue second: the rest lies in one
// stretch, in order, however it wraps.
struct RingTurnCase {
  const char* name;
  std::uint32_t size, first, written, second;
  std::int32_t secondResult;
  std::uint32_t stretch;
  bool clearDuringWrite;
};

class OutputRingPart : public testing::TestWithParam<RingTurnCase> {};

TEST_P(OutputRingPart, QueuedBytesLeaveInOneStretchInOrder) {
  const RingTurnCase& c = GetParam();
  TOutputRing ring;
  ring.Reset(c.size);
  TOutputRing::Turn turn;
  ASSERT_EQ(ring.Queue(Counting(0, c.first).data(), c.first, false, turn), 0);
  const std::uint8_t* stretch = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(ring.TakeStretch(stretch, length, turn));
  EXPECT_EQ(length, c.first);
  TOutputRing::Turn other;
  EXPECT_FALSE(ring.TakeStretch(stretch, length, other)) << "one writer at a time";
  if (c.clearDuringWrite) ring.Clear();
  ring.EndTurn(turn, c.written);
  EXPECT_EQ(ring.Queue(Counting(c.first, c.second).data(), c.second, false, turn), c.secondResult);
  EXPECT_EQ(ring.Used(), c.stretch);
  EXPECT_EQ(ring.Free(), c.size - c.stretch);
  if (c.stretch == 0) return;
  ASSERT_TRUE(ring.TakeStretch(stretch, length, turn));
  const std::uint32_t start = c.clearDuringWrite ? c.first : c.written;
  EXPECT_EQ(std::vector<std::uint8_t>(stretch, stretch + length), Counting(start, c.stretch));
}

INSTANTIATE_TEST_SUITE_P(
    Ring, OutputRingPart,
    testing::Values(RingTurnCase{"AllWritten", 16, 6, 6, 4, 0, 4, false},
                    RingTurnCase{"PartWrittenKeepsTheRest", 16, 6, 2, 4, 0, 8, false},
                    RingTurnCase{"WrappedBytesStayTogether", 16, 12, 10, 10, 0, 12, false},
                    RingTurnCase{"FillsExactly", 16, 10, 4, 10, 0, 16, false},
                    RingTurnCase{"NoRoomQueuesNothing", 16, 12, 0, 5, ecOutputBufferTooSmall, 12,
                                 false},
                    RingTurnCase{"PurgeDuringAWriteMovesNothing", 16, 6, 6, 4, 0, 4, true}),
    [](const auto& info) { return std::string(info.param.name); });

// One data-available delivery: every handler reads from the same start, the
// buffer gives up what the handler that took the most took.
struct TakeCase {
  const char* name;
  std::vector<std::uint32_t> takes;
  bool purgeDuringDelivery;
  bool allTaken;
  std::uint32_t left;
};

class InputBufferPart : public testing::TestWithParam<TakeCase> {};

TEST_P(InputBufferPart, ADeliveryGivesUpTheLargestTake) {
  const TakeCase& c = GetParam();
  constexpr std::uint32_t kArrived = 10;
  support::ScopedFakePort port(211);
  std::uint32_t error = 0;
  auto device = port->Open(error);
  ASSERT_TRUE(device);
  port->Receive(Counting(0, kArrived));
  TInputBuffer buffer;
  buffer.Reset();
  std::uint32_t errors = 0;
  ASSERT_EQ(buffer.Fill(*device, errors), kArrived);
  ASSERT_EQ(buffer.Announce(1), kArrived);
  EXPECT_EQ(buffer.Announce(1), 0u) << "an arrival is announced once";
  buffer.BeginDelivery(true);
  for (std::uint32_t take : c.takes) {
    std::vector<std::uint8_t> block(take);
    ASSERT_EQ(buffer.Take(block.data(), take), 0);
    EXPECT_EQ(block, Counting(0, take));
    EXPECT_EQ(buffer.Available(), kArrived - take);
    buffer.NoteTake();
  }
  if (c.purgeDuringDelivery) buffer.Purge();
  EXPECT_EQ(buffer.EndDelivery(true, kArrived), c.allTaken);
  EXPECT_EQ(buffer.Available(), c.left);
  std::vector<std::uint8_t> rest(c.left);
  ASSERT_EQ(buffer.Take(rest.data(), c.left), 0);
  EXPECT_EQ(rest, Counting(kArrived - c.left, c.left));
}

INSTANTIATE_TEST_SUITE_P(Takes, InputBufferPart,
                         testing::Values(TakeCase{"LargestOfSeveral", {3, 7, 5}, false, false, 3},
                                         TakeCase{"AllByOne", {10, 0}, false, true, 0},
                                         TakeCase{"NoneTaken", {}, false, false, 10},
                                         TakeCase{"PurgeGivesUpEverything", {2}, true, true, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// One status trigger, armed, checked once on the given state, then again.
struct FireCase {
  const char* name;
  std::uint32_t kind;
  std::uint16_t arm;
  std::uint32_t outputUsed;
  std::uint8_t lineErrors;
  bool outputSent;
  bool fires;
  std::uint16_t value;
};

class TriggerSetPart : public testing::TestWithParam<FireCase> {};

TEST_P(TriggerSetPart, AnArmedTriggerFiresOnceOnItsCondition) {
  const FireCase& c = GetParam();
  constexpr std::uint32_t kRingSize = 16;
  TTriggerSet triggers;
  triggers.Open(0);
  const auto handle = static_cast<std::uint16_t>(triggers.CreateStatusTrigger(c.kind));
  ASSERT_EQ(triggers.ArmStatusTrigger(handle, c.arm, true), 0);
  EXPECT_TRUE(triggers.AnyArmed());
  triggers.NoteLineErrors(c.lineErrors);
  if (c.outputSent) triggers.NoteOutputSent();
  std::uint16_t value = 0;
  EXPECT_EQ(triggers.FireNext(c.outputUsed, kRingSize, value), c.fires ? handle : 0);
  if (c.fires) {
    EXPECT_EQ(value, c.value);
  }
  EXPECT_EQ(triggers.AnyArmed(), !c.fires);
  triggers.EndPass();
  EXPECT_EQ(triggers.FireNext(c.outputUsed, kRingSize, value), 0) << "fired triggers are disarmed";
}

INSTANTIATE_TEST_SUITE_P(
    Fires, TriggerSetPart,
    testing::Values(
        FireCase{"FreeReachesLevel", kStatusOutBuffFree, 12, 4, 0, false, true, 12},
        FireCase{"FreeBelowLevel", kStatusOutBuffFree, 13, 4, 0, false, false, 0},
        FireCase{"UsedDownToLevel", kStatusOutBuffUsed, 4, 4, 0, false, true, 4},
        FireCase{"UsedAboveLevel", kStatusOutBuffUsed, 3, 4, 0, false, false, 0},
        FireCase{"OutputSent", kStatusOutSent, 0, 0, 0, true, true, 0},
        FireCase{"NothingSent", kStatusOutSent, 0, 0, 0, false, false, 0},
        FireCase{"ParityError", kStatusLineError, kArmParity, 0, kLineParity, false, true, 0},
        FireCase{"OtherError", kStatusLineError, kArmParity, 0, kLineFraming, false, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace serial
