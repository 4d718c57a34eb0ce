#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Messages.h"
#include "platform/Ticks.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

struct CountingWindow {
  int calls = 0;
  HWND handle = CreateMessageWindow([this](UINT, WPARAM, LPARAM) -> LRESULT {
    ++calls;
    return 0;
  });
  ~CountingWindow() { DestroyMessageWindow(handle); }
};

class TickCounts : public testing::TestWithParam<int> {};

TEST_P(TickCounts, BelowOneReturnsAtOnceAndLeavesMessagesQueued) {
  CountingWindow window;
  PostMessage(window.handle, WM_USER, 0, 0);
  EXPECT_TRUE(DelayTicks(GetParam()));
  EXPECT_EQ(window.calls, 0);
  ProcessMessages();
}

INSTANTIATE_TEST_SUITE_P(Ticks, TickCounts, testing::Values(0, -1, -100));

TEST(Ticks, WaitDeliversMessagesAndLastsItsTicks) {
  CountingWindow window;
  std::thread poster([&] {
    for (int i = 0; i < 5; ++i) {
      PostMessage(window.handle, WM_USER, 0, 0);
      std::this_thread::sleep_for(5ms);
    }
  });
  const auto start = Clock::now();
  EXPECT_TRUE(DelayTicks(3));
  const auto elapsed = Clock::now() - start;
  poster.join();
  ProcessMessages();
  EXPECT_EQ(window.calls, 5);
  // Three tick boundaries: more than two whole ticks must have passed.
  EXPECT_GE(elapsed, 2 * std::chrono::milliseconds(kTickMs));
}

TEST(Ticks, QuitEndsTheWaitAndIsPostedAgain) {
  HWND window = CreateMessageWindow([](UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_USER) PostQuitMessage(9);
    return 0;
  });
  PostMessage(window, WM_USER, 0, 0);
  const auto start = Clock::now();
  EXPECT_FALSE(DelayTicks(1000));
  EXPECT_LT(Clock::now() - start, 10s);
  int code = 0;
  EXPECT_EQ(ProcessOneMessage(&code), Pumped::Quit);
  EXPECT_EQ(code, 9);
  DestroyMessageWindow(window);
}

TEST(Ticks, TickCountIsMonotonic) {
  const std::uint32_t first = GetTickCount();
  std::this_thread::sleep_for(20ms);
  const std::uint32_t second = GetTickCount();
  EXPECT_GE(static_cast<std::uint32_t>(second - first), 15u);
}

}  // namespace
