#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Events.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// What a wait sees after some sets and resets on an idle event.
struct SignalCase {
  const char* name;
  int sets;
  bool resetAfter;
  bool firstWait;
  bool secondWait;
};

class EventSignals : public testing::TestWithParam<SignalCase> {};

TEST_P(EventSignals, OneWaitTakesTheSignal) {
  AutoResetEvent event;
  for (int i = 0; i < GetParam().sets; ++i) event.Set();
  if (GetParam().resetAfter) event.ResetEvent();
  EXPECT_EQ(event.Wait(0ms), GetParam().firstWait);
  EXPECT_EQ(event.Wait(0ms), GetParam().secondWait);
}

INSTANTIATE_TEST_SUITE_P(Events, EventSignals,
                         testing::Values(SignalCase{"NeverSet", 0, false, false, false},
                                         SignalCase{"SetOnce", 1, false, true, false},
                                         SignalCase{"SetTwiceIsOneSignal", 2, false, true, false},
                                         SignalCase{"ResetClears", 1, true, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Events, TimedWaitLastsItsTimeout) {
  AutoResetEvent event;
  const auto start = Clock::now();
  EXPECT_FALSE(event.Wait(60ms));
  EXPECT_GE(Clock::now() - start, 60ms);
}

// Timeouts at the ends of the range neither overflow into an endless wait
// nor miss a signal that is there.
TEST(Events, ExtremeTimeoutsTakeAWaitingSignal) {
  for (const auto timeout :
       {std::chrono::milliseconds::min(), -1ms, std::chrono::milliseconds::max()}) {
    AutoResetEvent event;
    event.Set();
    EXPECT_TRUE(event.Wait(timeout)) << timeout.count();
  }
  AutoResetEvent idle;
  EXPECT_FALSE(idle.Wait(-1ms));
}

TEST(Events, SetWakesAWaitingThread) {
  AutoResetEvent event;
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    event.Wait();
    woke = true;
  });
  std::this_thread::sleep_for(20ms);  // let it fall asleep
  EXPECT_FALSE(woke);
  event.Set();
  waiter.join();
  EXPECT_TRUE(woke);
  EXPECT_FALSE(event.Wait(0ms));  // the waiter took the signal
}

// Two threads handing a turn back and forth: a lost wake-up hangs, a
// doubled one lets a side run out of turn.
TEST(Events, PingPongLosesAndInventsNothing) {
  constexpr int kRounds = 20000;
  AutoResetEvent ping;
  AutoResetEvent pong;
  int turn = 0;  // written by each side only in its own turn
  std::atomic<int> outOfTurn{0};
  std::atomic<int> lost{0};
  std::thread other([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (!ping.Wait(10s)) {
        ++lost;
        return;
      }
      if (turn != 2 * i + 1) ++outOfTurn;
      ++turn;
      pong.Set();
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    if (turn != 2 * i) ++outOfTurn;
    ++turn;
    ping.Set();
    if (!pong.Wait(10s)) {
      ++lost;
      break;
    }
  }
  other.join();
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(turn, 2 * kRounds);
  EXPECT_EQ(outOfTurn, 0);
}

}  // namespace
