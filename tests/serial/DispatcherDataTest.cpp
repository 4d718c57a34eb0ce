// The dispatch buffer, data-available delivery and the output ring, over a
// fake port.
#include <algorithm>
#include <thread>

#include "serial/ErrorCodes.h"
#include "tests/serial/DispatcherFixture.h"

namespace serial {
namespace {

using namespace testing_support;
using DispatcherDataTest = DispatcherFixture;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t start = 0) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(start + i * 7 + i / 251);
  return bytes;
}

TEST_F(DispatcherDataTest, ThresholdZeroCollectsBytesSilently) {
  RecordEvents();
  dispatcher_->SetAvailThreshold(0);
  Feed("0123456789");
  EXPECT_EQ(dispatcher_->InputAvailable(), 10u);
  WaitForPasses(1);
  EXPECT_TRUE(DataMessages().empty());
}

TEST_F(DispatcherDataTest, OneMessagePerArrivalCountingWhatWasLeftBehind) {
  RecordEvents(4);
  dispatcher_->SetAvailThreshold(1);
  Feed("0123456789");
  auto data = DataMessages();
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].wParam, 10u);
  EXPECT_EQ(static_cast<std::uint32_t>(data[0].lParam) >> 16, dispatcher_->Handle());
  EXPECT_EQ(dispatcher_->InputAvailable(), 6u);

  WaitForPasses(2);
  EXPECT_EQ(DataMessages().size(), 1u) << "bytes left behind are not announced again";

  Feed("abc");
  data = DataMessages();
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(data[1].wParam, 9u);
  EXPECT_EQ(Taken(), Bytes("01234567"));
}

TEST_F(DispatcherDataTest, BelowThresholdNothingIsAnnounced) {
  RecordEvents(-1);
  dispatcher_->SetAvailThreshold(5);
  Feed("abc");
  EXPECT_TRUE(DataMessages().empty());
  Feed("de");
  ASSERT_EQ(DataMessages().size(), 1u);
  EXPECT_EQ(DataMessages()[0].wParam, 5u);
}

TEST_F(DispatcherDataTest, HandlersOfOneDeliveryReadFromTheSameStart) {
  std::vector<std::uint8_t> first(3), second(7);
  int calls = 0;
  dispatcher_->AddEventHandler(&first, [&](platform::UINT msg, platform::WPARAM, platform::LPARAM) {
    if (msg != kMsgTriggerAvail) return;
    EXPECT_EQ(dispatcher_->TakeInput(first.data(), 3), 0);
    ++calls;
  });
  dispatcher_->AddEventHandler(&second,
                               [&](platform::UINT msg, platform::WPARAM, platform::LPARAM) {
                                 if (msg != kMsgTriggerAvail) return;
                                 EXPECT_EQ(dispatcher_->TakeInput(second.data(), 7), 0);
                                 ++calls;
                               });
  dispatcher_->SetAvailThreshold(1);
  Feed("0123456789");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(first, Bytes("012"));
  EXPECT_EQ(second, Bytes("0123456"));
  EXPECT_EQ(dispatcher_->InputAvailable(), 3u);
  std::vector<std::uint8_t> rest(3);
  ASSERT_EQ(dispatcher_->TakeInput(rest.data(), 3), 0);
  EXPECT_EQ(rest, Bytes("789"));
}

TEST_F(DispatcherDataTest, TakingMoreThanIsThereTakesNothing) {
  int result = 0;
  dispatcher_->AddEventHandler(&result,
                               [&](platform::UINT msg, platform::WPARAM, platform::LPARAM) {
                                 std::vector<std::uint8_t> block(11);
                                 if (msg == kMsgTriggerAvail)
                                   result = dispatcher_->TakeInput(block.data(), 11);
                               });
  dispatcher_->SetAvailThreshold(1);
  Feed("0123456789");
  EXPECT_EQ(result, ecBufferIsEmpty);
  EXPECT_EQ(dispatcher_->InputAvailable(), 10u);
  EXPECT_EQ(dispatcher_->TakeInput(), '0');
  std::vector<std::uint8_t> block(10);
  EXPECT_EQ(dispatcher_->TakeInput(block.data(), 10), ecBufferIsEmpty);
  EXPECT_EQ(dispatcher_->TakeInput(block.data(), 9), 0);
  EXPECT_EQ(dispatcher_->TakeInput(), ecBufferIsEmpty);
}

TEST_F(DispatcherDataTest, FullBufferResumesReadingAfterATakeAndAnnouncesTheNewBytes) {
  RecordEvents(0);
  dispatcher_->SetAvailThreshold(1);
  const auto sent = Pattern(TApdBaseDispatcher::kDispatchBufferSize + 100);
  Feed(sent);
  EXPECT_EQ(dispatcher_->InputAvailable(), TApdBaseDispatcher::kDispatchBufferSize);
  EXPECT_EQ(port_->InputPending(), 100u);
  ASSERT_EQ(DataMessages().size(), 1u);

  std::vector<std::uint8_t> received(1000);
  ASSERT_EQ(dispatcher_->TakeInput(received.data(), 1000), 0);
  ASSERT_TRUE(PumpUntil([&] { return port_->InputPending() == 0; }));
  const std::uint32_t rest = static_cast<std::uint32_t>(sent.size() - 1000);
  EXPECT_EQ(dispatcher_->InputAvailable(), rest);
  ASSERT_TRUE(PumpUntil([&] { return DataMessages().size() == 2; }));
  EXPECT_EQ(DataMessages()[1].wParam, rest);

  received.resize(sent.size());
  ASSERT_EQ(dispatcher_->TakeInput(received.data() + 1000, rest), 0);
  EXPECT_EQ(received, sent);
}

TEST_F(DispatcherDataTest, PurgeInputEmptiesTheBuffer) {
  dispatcher_->SetAvailThreshold(0);
  Feed("0123456789");
  ASSERT_EQ(dispatcher_->PurgeInput(), 0);
  EXPECT_EQ(dispatcher_->InputAvailable(), 0u);
  EXPECT_EQ(dispatcher_->TakeInput(), ecBufferIsEmpty);
}

TEST_F(DispatcherDataTest, PurgeInputDuringADeliveryGivesUpEverything) {
  dispatcher_->AddEventHandler(this, [&](platform::UINT msg, platform::WPARAM, platform::LPARAM) {
    if (msg == kMsgTriggerAvail) dispatcher_->PurgeInput();
  });
  dispatcher_->SetAvailThreshold(1);
  Feed("0123456789");
  EXPECT_EQ(dispatcher_->InputAvailable(), 0u);
}

TEST_F(DispatcherDataTest, BlockFillingTheRingExactlySucceedsAndOneMoreByteIsRefused) {
  port_->SetWritesStuck(true);
  const auto block = Pattern(4096);
  ASSERT_EQ(dispatcher_->QueueOutput(block.data(), 4096), 0);
  EXPECT_EQ(dispatcher_->OutputFree(), 0u);
  EXPECT_EQ(dispatcher_->OutputUsed(), 4096u);
  const std::uint8_t one = 1;
  EXPECT_EQ(dispatcher_->QueueOutput(&one, 1), ecOutputBufferTooSmall);
  port_->SetWritesStuck(false);
  ASSERT_TRUE(port_->WaitForWritten(4096, kTimeout));
  EXPECT_EQ(port_->TakeWritten(), block);
  ASSERT_TRUE(PumpUntil([&] { return dispatcher_->OutputFree() == 4096u; }));
}

TEST_F(DispatcherDataTest, EmptyBlockQueuesNothing) {
  EXPECT_EQ(dispatcher_->QueueOutput(nullptr, 0), 0);
  EXPECT_EQ(dispatcher_->OutputUsed(), 0u);
}

struct RingCase {
  std::uint16_t ringSize;
  std::uint32_t writeChunk;
  std::size_t total;
};

class OutputRingTest : public DispatcherFixture, public testing::WithParamInterface<RingCase> {
 protected:
  void SetUp() override {}
};

// Short device writes leave the ring's data wrapped at every position; the
// bytes must still leave in the order they were queued.
TEST_P(OutputRingTest, BytesLeaveInOrderThroughWrapsAndRotations) {
  const RingCase& c = GetParam();
  OpenDispatcher(c.ringSize);
  port_->SetWriteChunk(c.writeChunk);
  const auto sent = Pattern(c.total, 3);
  std::size_t queued = 0;
  std::size_t step = 1;
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (queued < sent.size()) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    const std::size_t size = std::min({step, sent.size() - queued, std::size_t(c.ringSize)});
    const std::int32_t result =
        dispatcher_->QueueOutput(sent.data() + queued, static_cast<std::uint32_t>(size));
    if (result == 0) {
      queued += size;
      step = step % 7 + 1;
    } else {
      ASSERT_EQ(result, ecOutputBufferTooSmall);
      std::this_thread::yield();
    }
  }
  ASSERT_TRUE(port_->WaitForWritten(sent.size(), kTimeout));
  EXPECT_EQ(port_->TakeWritten(), sent);
}

INSTANTIATE_TEST_SUITE_P(Sizes, OutputRingTest,
                         testing::Values(RingCase{16, 5, 2000}, RingCase{16, 3, 2000},
                                         RingCase{7, 2, 1000}, RingCase{64, 13, 5000},
                                         RingCase{4096, 1000, 100000}));

TEST_F(DispatcherDataTest, PurgeOutputDropsQueuedBytesAndEndsAStuckWrite) {
  port_->SetWritesStuck(true);
  const auto block = Pattern(100);
  ASSERT_EQ(dispatcher_->QueueOutput(block.data(), 100), 0);
  ASSERT_EQ(dispatcher_->PurgeOutput(), 0);
  EXPECT_EQ(dispatcher_->OutputUsed(), 0u);
  port_->SetWritesStuck(false);
  const auto next = Bytes("after");
  ASSERT_EQ(dispatcher_->QueueOutput(next.data(), 5), 0);
  ASSERT_TRUE(port_->WaitForWritten(5, kTimeout));
  EXPECT_EQ(port_->TakeWritten(), next);
}

TEST_F(DispatcherDataTest, LoopbackDataComesBackThroughTheDispatchBuffer) {
  RecordEvents(-1);
  dispatcher_->SetAvailThreshold(1);
  port_->SetLoopback(true);
  const auto sent = Pattern(20000);
  std::size_t queued = 0;
  while (queued < sent.size()) {
    const std::size_t size = std::min<std::size_t>(1000, sent.size() - queued);
    if (dispatcher_->QueueOutput(sent.data() + queued, static_cast<std::uint32_t>(size)) == 0)
      queued += size;
    else
      std::this_thread::yield();
  }
  ASSERT_TRUE(PumpUntil([&] { return Taken().size() == sent.size(); }));
  EXPECT_EQ(Taken(), sent);
}

}  // namespace
}  // namespace serial
