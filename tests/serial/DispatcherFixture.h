// A dispatcher opened on a fake port, with a recording event handler.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "serial/Dispatcher.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/FakeCommPort.h"

namespace serial::testing_support {

class DispatcherFixture : public testing::Test {
 protected:
  static constexpr int kCom = 201;

  void SetUp() override { OpenDispatcher(); }
  // The handlers use the recorder: the dispatcher goes first.
  void TearDown() override { dispatcher_.reset(); }

  void OpenDispatcher(std::uint16_t outSize = 4096) {
    dispatcher_ = std::make_unique<TApdWin32Dispatcher>();
    PortOpenSettings settings;
    settings.deviceName = "\\\\.\\COM" + std::to_string(kCom);
    settings.options = kOptionDtr | kOptionRts;
    settings.outSize = outSize;
    ASSERT_EQ(dispatcher_->InitializePort(settings), 0);
  }

  // Feeds bytes and returns once the dispatcher has handled them completely.
  void Feed(const std::vector<std::uint8_t>& bytes) {
    Act([&] { port_->Receive(bytes); });
  }
  void Feed(const std::string& text) { Feed(Bytes(text)); }

  // Runs an action that raises a device event, and waits until it is handled.
  void Act(const std::function<void()>& action) { ASSERT_TRUE(WhenHandled(*dispatcher_, action)); }

  // Records every trigger message; a data-available message takes `take`
  // bytes (or all when take is negative).
  void RecordEvents(int take = 0) {
    dispatcher_->AddEventHandler(
        &recorder_, [this, take](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
          recorder_.Add(msg, w, l);
          if (msg != kMsgTriggerAvail) return;
          const std::uint32_t count =
              take < 0 ? static_cast<std::uint32_t>(w) : static_cast<std::uint32_t>(take);
          std::vector<std::uint8_t> block(count);
          if (count > 0 && dispatcher_->TakeInput(block.data(), count) == 0) {
            std::lock_guard guard(takenLock_);
            taken_.insert(taken_.end(), block.begin(), block.end());
          }
        });
  }

  // Waits until the dispatch thread has run `passes` more status-trigger
  // passes, using an output-free trigger that fires at every pass it is armed.
  void WaitForPasses(int passes) {
    const auto handle =
        static_cast<std::uint16_t>(dispatcher_->CreateStatusTrigger(kStatusOutBuffFree));
    for (int i = 0; i < passes; ++i) {
      const std::size_t before = StatusMessages(handle);
      ASSERT_EQ(dispatcher_->ArmStatusTrigger(handle, 0, true), 0);
      const auto deadline = std::chrono::steady_clock::now() + kTimeout;
      while (StatusMessages(handle) == before) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        recorder_.WaitForCount(recorder_.Count() + 1, std::chrono::milliseconds(100));
      }
    }
    dispatcher_->RemoveTrigger(handle);
  }

  std::size_t StatusMessages(std::uint16_t handle) {
    std::size_t count = 0;
    for (const Message& m : recorder_.Messages())
      count += m.msg == kMsgTriggerStatus && m.wParam == handle;
    return count;
  }

  std::vector<Message> DataMessages() {
    std::vector<Message> data;
    for (const Message& m : recorder_.Messages())
      if (m.msg == kMsgTriggerAvail) data.push_back(m);
    return data;
  }

  std::vector<std::uint8_t> Taken() {
    std::lock_guard guard(takenLock_);
    return taken_;
  }

  support::ScopedFakePort port_{kCom};
  std::unique_ptr<TApdWin32Dispatcher> dispatcher_;
  Recorder recorder_;
  std::mutex takenLock_;
  std::vector<std::uint8_t> taken_;
};

}  // namespace serial::testing_support
