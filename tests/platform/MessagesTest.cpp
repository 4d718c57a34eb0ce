#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Messages.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

struct Received {
  UINT msg;
  WPARAM wParam;
};

// A window on the calling thread that records what reaches it.
class RecordingWindow {
 public:
  RecordingWindow()
      : handle_(CreateMessageWindow([this](UINT msg, WPARAM w, LPARAM) -> LRESULT {
          received_.push_back({msg, w});
          return static_cast<LRESULT>(w) * 2;
        })) {}
  ~RecordingWindow() { DestroyMessageWindow(handle_); }
  HWND handle() const { return handle_; }
  const std::vector<Received>& received() const { return received_; }

 private:
  std::vector<Received> received_;
  HWND handle_;
};

void DrainQueue() {
  while (ProcessOneMessage() != Pumped::None) {
  }
}

TEST(Messages, PostsArriveInOrderAfterPendingSends) {
  RecordingWindow window;
  ASSERT_TRUE(PostMessage(window.handle(), WM_USER + 1, 1, 0));
  ASSERT_TRUE(PostMessage(window.handle(), WM_USER + 2, 2, 0));
  std::atomic<bool> sent{false};
  std::thread sender(
      [&] { sent = SendMessageTimeout(window.handle(), WM_USER + 3, 3, 0, 5000ms); });
  while (QueuedMessageCount() < 3) std::this_thread::yield();
  DrainQueue();
  sender.join();
  EXPECT_TRUE(sent);
  ASSERT_EQ(window.received().size(), 3u);
  EXPECT_EQ(window.received()[0].msg, WM_USER + 3u);  // the send overtakes the posts
  EXPECT_EQ(window.received()[1].msg, WM_USER + 1u);
  EXPECT_EQ(window.received()[2].msg, WM_USER + 2u);
}

TEST(Messages, SendOnOwnerThreadCallsDirectly) {
  RecordingWindow window;
  LRESULT result = 0;
  ASSERT_TRUE(SendMessageTimeout(window.handle(), WM_USER, 21, 0, 0ms, &result));
  EXPECT_EQ(result, 42);
  EXPECT_EQ(window.received().size(), 1u);
  EXPECT_EQ(QueuedMessageCount(), 0u);
}

TEST(Messages, CrossThreadSendReturnsTheHandlersResult) {
  RecordingWindow window;
  std::atomic<LRESULT> result{0};
  std::atomic<bool> ok{false};
  std::thread sender([&] {
    LRESULT answer = 0;
    ok = SendMessageTimeout(window.handle(), WM_USER, 50, 0, 5000ms, &answer);
    result = answer;
  });
  while (!ok && window.received().empty()) {
    ProcessOneMessage();
    WaitMessage(10ms);
  }
  sender.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(result, 100);
}

TEST(Messages, TimedOutSendIsWithdrawnAndNeverRuns) {
  RecordingWindow window;
  bool ok = true;
  std::thread sender([&] { ok = SendMessageTimeout(window.handle(), WM_USER, 1, 0, 30ms); });
  sender.join();  // the owner never pumped while the sender waited
  EXPECT_FALSE(ok);
  DrainQueue();
  EXPECT_TRUE(window.received().empty());
}

TEST(Messages, SendToDestroyedWindowFailsAndNeverRuns) {
  std::atomic<int> calls{0};
  HWND window = CreateMessageWindow([&](UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
  std::atomic<bool> ok{true};
  std::thread sender([&] { ok = SendMessageTimeout(window, WM_USER, 0, 0, 5000ms); });
  while (QueuedMessageCount() == 0) std::this_thread::yield();
  DestroyMessageWindow(window);
  sender.join();
  EXPECT_FALSE(ok);
  DrainQueue();
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(SendMessageTimeout(window, WM_USER, 0, 0, 10ms));
  EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
}

TEST(Messages, DestroyingAWindowDropsItsQueuedPosts) {
  RecordingWindow survivor;
  std::atomic<int> calls{0};
  HWND doomed = CreateMessageWindow([&](UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
  PostMessage(doomed, WM_USER, 0, 0);
  PostMessage(survivor.handle(), WM_USER, 7, 0);
  PostMessage(doomed, WM_USER, 0, 0);
  DestroyMessageWindow(doomed);
  EXPECT_FALSE(IsMessageWindow(doomed));
  EXPECT_EQ(QueuedMessageCount(), 1u);
  DrainQueue();
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(survivor.received().size(), 1u);
  EXPECT_EQ(survivor.received()[0].wParam, 7u);
}

TEST(Messages, PostsFromOtherThreadsReachTheOwner) {
  RecordingWindow window;
  std::thread poster([&] {
    for (WPARAM i = 0; i < 100; ++i) PostMessage(window.handle(), WM_USER, i, 0);
  });
  poster.join();
  DrainQueue();
  ASSERT_EQ(window.received().size(), 100u);
  for (WPARAM i = 0; i < 100; ++i) EXPECT_EQ(window.received()[i].wParam, i);
}

TEST(Messages, HandlerMayDestroyItsOwnWindow) {
  HWND window = 0;
  int calls = 0;
  window = CreateMessageWindow([&](UINT, WPARAM, LPARAM) -> LRESULT {
    ++calls;
    DestroyMessageWindow(window);
    return 0;
  });
  PostMessage(window, WM_USER, 0, 0);
  PostMessage(window, WM_USER, 0, 0);
  DrainQueue();
  EXPECT_EQ(calls, 1);
}

TEST(Messages, QuitEndsProcessMessagesAndStaysQueued) {
  RecordingWindow window;
  PostMessage(window.handle(), WM_USER, 1, 0);
  PostQuitMessage(3);
  PostMessage(window.handle(), WM_USER, 2, 0);
  EXPECT_FALSE(ProcessMessages());
  EXPECT_EQ(window.received().size(), 1u);
  // The re-posted quit now stands behind the remaining post.
  int code = 0;
  EXPECT_EQ(ProcessOneMessage(&code), Pumped::Dispatched);
  EXPECT_EQ(ProcessOneMessage(&code), Pumped::Quit);
  EXPECT_EQ(code, 3);
  EXPECT_EQ(ProcessOneMessage(), Pumped::None);
}

TEST(Messages, WaitMessageWakesOnPostFromAnotherThread) {
  RecordingWindow window;
  std::thread poster([&] {
    std::this_thread::sleep_for(20ms);
    PostMessage(window.handle(), WM_USER, 0, 0);
  });
  EXPECT_TRUE(WaitMessage(10s));
  poster.join();
  EXPECT_EQ(QueuedMessageCount(), 1u);
  DrainQueue();
  EXPECT_FALSE(WaitMessage(1ms));
}

TEST(Messages, WindowsBelongToTheirCreatingThread) {
  HWND foreign = 0;
  std::atomic<bool> created{false}, stop{false};
  std::atomic<int> handledOnOwner{0};
  std::thread owner([&] {
    const auto ownerId = std::this_thread::get_id();
    foreign = CreateMessageWindow([&](UINT, WPARAM, LPARAM) -> LRESULT {
      if (std::this_thread::get_id() == ownerId) ++handledOnOwner;
      return 0;
    });
    created = true;
    while (!stop) {
      WaitMessage(5ms);
      ProcessMessages();
    }
    DestroyMessageWindow(foreign);
  });
  while (!created) std::this_thread::yield();
  PostMessage(foreign, WM_USER, 0, 0);
  EXPECT_TRUE(SendMessageTimeout(foreign, WM_USER, 0, 0, 5000ms));
  EXPECT_EQ(QueuedMessageCount(), 0u);  // nothing landed on this thread's queue
  stop = true;
  owner.join();
  EXPECT_EQ(handledOnOwner, 2);
}

// A handler that raises: the exception reaches the pumping thread, a sender
// on another thread is released with a failed send, and the queue goes on.
struct ThrowingHandlerCase {
  const char* name;
  bool sentFromAnotherThread;
};

class ThrowingHandler : public testing::TestWithParam<ThrowingHandlerCase> {};

TEST_P(ThrowingHandler, RaisesToThePumpReleasesTheSenderAndKeepsTheQueue) {
  std::vector<WPARAM> handled;
  HWND window = CreateMessageWindow([&](UINT, WPARAM w, LPARAM) -> LRESULT {
    if (w == 1) throw std::runtime_error("handler failed");
    handled.push_back(w);
    return 0;
  });
  // The sender touches only what it owns, so a sender left hanging by a
  // fault cannot outlive the test's stack.
  auto sendResult = std::make_shared<std::promise<bool>>();
  std::future<bool> released = sendResult->get_future();
  if (GetParam().sentFromAnotherThread) {
    std::thread([window, sendResult] {
      sendResult->set_value(SendMessageTimeout(window, WM_USER, 1, 0, 5000ms));
    }).detach();
    while (QueuedMessageCount() == 0) std::this_thread::yield();
  } else {
    PostMessage(window, WM_USER, 1, 0);
  }
  PostMessage(window, WM_USER, 2, 0);
  EXPECT_THROW(ProcessOneMessage(), std::runtime_error);
  EXPECT_EQ(QueuedMessageCount(), 1u);
  EXPECT_EQ(ProcessOneMessage(), Pumped::Dispatched);
  EXPECT_EQ(ProcessOneMessage(), Pumped::None);
  EXPECT_EQ(handled, (std::vector<WPARAM>{2}));
  if (GetParam().sentFromAnotherThread) {
    ASSERT_EQ(released.wait_for(10s), std::future_status::ready) << "the sender still waits";
    EXPECT_FALSE(released.get());
  }
  DestroyMessageWindow(window);
}

INSTANTIATE_TEST_SUITE_P(Messages, ThrowingHandler,
                         testing::Values(ThrowingHandlerCase{"Posted", false},
                                         ThrowingHandlerCase{"SentFromAnotherThread", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
