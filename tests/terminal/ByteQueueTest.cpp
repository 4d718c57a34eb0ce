#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "terminal/ByteQueue.h"

namespace terminal {
namespace {

struct GrowthCase {
  std::vector<std::size_t> appends;
  std::vector<std::size_t> rooms;  // after each append
};

class ByteQueueGrowth : public testing::TestWithParam<GrowthCase> {};

TEST_P(ByteQueueGrowth, RoomDoublesFromSixtyFourUntilTheWriteFits) {
  TaaByteQueue queue;
  EXPECT_EQ(queue.Room(), 64u);
  std::vector<std::uint8_t> bytes(5000, 7);
  std::vector<std::size_t> rooms;
  std::size_t total = 0;
  for (std::size_t count : GetParam().appends) {
    EXPECT_EQ(queue.Append(bytes.data(), count), count);
    total += count;
    rooms.push_back(queue.Room());
    EXPECT_EQ(queue.Room() % 64, 0u);
  }
  EXPECT_EQ(rooms, GetParam().rooms);
  EXPECT_EQ(queue.Count(), total);
}

INSTANTIATE_TEST_SUITE_P(Sequences, ByteQueueGrowth,
                         testing::Values(GrowthCase{{64}, {64}}, GrowthCase{{65}, {128}},
                                         GrowthCase{{10, 60}, {64, 128}},
                                         GrowthCase{{10, 60, 200}, {64, 128, 512}},
                                         GrowthCase{{4096, 1}, {4096, 8192}},
                                         GrowthCase{{0, 0}, {64, 64}}));

TEST(TaaByteQueue, KeepsOnlyWhatTheFillReallyWrote) {
  TaaByteQueue queue;
  auto nothing = [](std::uint8_t*, std::size_t) { return std::size_t(0); };
  auto added = queue.Append(100, [](std::uint8_t* dest, std::size_t) {
    dest[0] = 'a';
    dest[1] = 'b';
    return std::size_t(2);
  });
  EXPECT_EQ(added.count, 2u);
  EXPECT_TRUE(added.first);
  EXPECT_EQ(queue.Append(5, nothing).count, 0u);
  auto one = [](std::uint8_t* dest, std::size_t) {
    dest[0] = 'c';
    return std::size_t(1);
  };
  EXPECT_FALSE(queue.Append(1, one).first) << "the drain owed takes these too";
  ByteBlock block;
  queue.Drain(block);
  EXPECT_EQ(std::string(block.Data(), block.Data() + block.Count()), "abc");
  EXPECT_TRUE(queue.Append(1, one).first) << "the first bytes after a drain";
}

TEST(TaaByteQueue, DrainHandsOverEverythingInOrderAndEmptiesTheQueue) {
  TaaByteQueue queue;
  queue.Append(reinterpret_cast<const std::uint8_t*>("hello "), 6);
  queue.Append(reinterpret_cast<const std::uint8_t*>("world"), 5);
  ByteBlock block;
  queue.Drain(block);
  EXPECT_EQ(std::string(block.Data(), block.Data() + block.Count()), "hello world");
  EXPECT_EQ(queue.Count(), 0u);
  queue.Append(reinterpret_cast<const std::uint8_t*>("!"), 1);
  queue.Drain(block);  // the old contents are dropped first
  EXPECT_EQ(std::string(block.Data(), block.Data() + block.Count()), "!");
  queue.Drain(block);
  EXPECT_EQ(block.Count(), 0u);
}

// One thread appends as the dispatcher does while another drains as the GUI
// thread does: nothing is lost, duplicated or reordered.
TEST(TaaByteQueue, ConcurrentAppendAndDrainLoseNothing) {
  constexpr std::size_t kTotal = 200000;
  TaaByteQueue queue;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    std::mt19937 random(7);
    std::vector<std::uint8_t> chunk(8192);
    std::size_t next = 0;
    while (next < kTotal) {
      std::size_t count = std::min<std::size_t>(1 + random() % chunk.size(), kTotal - next);
      for (std::size_t i = 0; i < count; ++i) chunk[i] = std::uint8_t((next + i) % 251);
      queue.Append(chunk.data(), count);
      next += count;
    }
    done = true;
  });
  std::vector<std::uint8_t> received;
  ByteBlock block;
  while (!done || queue.Count() > 0) {
    queue.Drain(block);
    received.insert(received.end(), block.Data(), block.Data() + block.Count());
  }
  producer.join();
  queue.Drain(block);
  received.insert(received.end(), block.Data(), block.Data() + block.Count());
  ASSERT_EQ(received.size(), kTotal);
  for (std::size_t i = 0; i < kTotal; ++i) ASSERT_EQ(received[i], std::uint8_t(i % 251)) << i;
}

}  // namespace
}  // namespace terminal
