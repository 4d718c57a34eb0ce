// The terminal's port attachment over a real TApdComPort on the fake comm
// device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/TriggerMessages.h"
#include "terminal/ComPortLink.h"
#include "tests/support/FakeCommPort.h"

namespace terminal {
namespace {

using namespace std::chrono_literals;

constexpr int kCom = 231;

class ComPortLinkTest : public testing::Test {
 protected:
  ComPortLinkTest() {
    port_.SetComNumber(kCom);
    port_.SetPromptForPort(false);
  }

  support::ScopedFakePort fake_{kCom};
  serial::TApdComPort port_;
  ComPortLink link_{port_};
};

TEST_F(ComPortLinkTest, MirrorsThePortsOpenState) {
  port_.SetAutoOpen(false);
  EXPECT_FALSE(link_.Open());
  EXPECT_FALSE(link_.AutoOpen());
  link_.OpenPort();
  EXPECT_TRUE(link_.Open());
  EXPECT_TRUE(fake_->IsOpen());
}

TEST_F(ComPortLinkTest, NoDataHandlerWithoutAnOpenPort) {
  EXPECT_FALSE(link_.AddDataHandler(this, [](platform::UINT, platform::WPARAM) {}));
  std::uint8_t byte = 0;
  EXPECT_FALSE(link_.TakeInput(&byte, 1));
}

TEST_F(ComPortLinkTest, DataHandlerTakesTheReceivedBytesOnTheDispatcherThread) {
  link_.OpenPort();
  std::mutex lock;
  std::condition_variable arrived;
  std::string taken;
  ASSERT_TRUE(link_.AddDataHandler(this, [&](platform::UINT msg, platform::WPARAM count) {
    if (msg != serial::kMsgTriggerAvail) return;
    std::string bytes(count, '\0');
    if (!link_.TakeInput(reinterpret_cast<std::uint8_t*>(bytes.data()), count)) return;
    std::lock_guard guard(lock);
    taken += bytes;
    arrived.notify_all();
  }));
  fake_->Receive("hello");
  std::unique_lock guard(lock);
  EXPECT_TRUE(arrived.wait_for(guard, 10s, [&] { return taken == "hello"; })) << taken;
  guard.unlock();
  link_.RemoveDataHandler(this);
  std::uint8_t byte = 0;
  EXPECT_FALSE(link_.TakeInput(&byte, 1));  // removed: nothing more to take
}

TEST_F(ComPortLinkTest, SendCharGoesToTheDevice) {
  link_.OpenPort();
  link_.SendChar(0x03);
  link_.SendChar('x');
  ASSERT_TRUE(fake_->WaitForWritten(2, 10s));
  EXPECT_EQ(fake_->TakeWritten(), (std::vector<std::uint8_t>{0x03, 'x'}));
}

TEST_F(ComPortLinkTest, UsersHearTheOpenAndTheClose) {
  std::vector<platform::UINT> heard;
  platform::HWND window = platform::CreateMessageWindow(
      [&](platform::UINT msg, platform::WPARAM, platform::LPARAM) -> platform::LRESULT {
        heard.push_back(msg);
        return 0;
      });
  link_.AddPortUser(window);
  link_.OpenPort();
  port_.SetOpen(false);
  link_.RemovePortUser(window);
  link_.OpenPort();
  platform::DestroyMessageWindow(window);
  EXPECT_EQ(heard, (std::vector<platform::UINT>{serial::kMsgPortOpened, serial::kMsgPortClosing}));
}

// The view's handler reaches the link (TakeInput) from the dispatcher
// thread: once the handler is removed, or the link destroyed, no call of it
// may still be running.
struct RemovalCase {
  const char* name;
  bool destroyLink;  // else RemoveDataHandler
};

class HandlerRemoval : public ComPortLinkTest, public testing::WithParamInterface<RemovalCase> {};

TEST_P(HandlerRemoval, WaitsForTheRunningCallToReturn) {
  auto link = std::make_unique<ComPortLink>(port_);
  link->OpenPort();
  std::promise<void> release;
  std::atomic<bool> entered{false};
  std::atomic<bool> returned{false};
  ASSERT_TRUE(link->AddDataHandler(
      this, [&, released = release.get_future().share()](platform::UINT, platform::WPARAM) {
        entered = true;
        released.wait();
        returned = true;
      }));
  fake_->Receive("x");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!entered && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(entered);
  std::thread releaser([&] {
    std::this_thread::sleep_for(50ms);
    release.set_value();
  });
  if (GetParam().destroyLink)
    link.reset();
  else
    link->RemoveDataHandler(this);
  EXPECT_TRUE(returned) << "the handler was still running";
  releaser.join();
}

INSTANTIATE_TEST_SUITE_P(Links, HandlerRemoval,
                         testing::Values(RemovalCase{"RemoveDataHandler", false},
                                         RemovalCase{"LinkDestroyed", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComPortLinkTest, ADestroyedLinkSendsItsFreeNotificationAndLeavesThePortsUsers) {
  auto link = std::make_unique<ComPortLink>(port_);
  std::vector<platform::UINT> heard;
  platform::HWND window = platform::CreateMessageWindow(
      [&](platform::UINT msg, platform::WPARAM, platform::LPARAM) -> platform::LRESULT {
        heard.push_back(msg);
        return 0;
      });
  link->AddPortUser(window);
  int notices = 0;
  link->FreeNotification(this, [&] { ++notices; });
  link.reset();
  EXPECT_EQ(notices, 1);
  port_.SetOpen(true);
  platform::DestroyMessageWindow(window);
  EXPECT_TRUE(heard.empty()) << "the link's user was left with the port";
}

}  // namespace
}  // namespace terminal
