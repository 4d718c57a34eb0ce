#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Messages.h"
#include "platform/Ticks.h"
#include "platform/qt/QtMessagePump.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// What the pump's error sink received, as texts.
std::vector<std::string> sunkErrors;

void SinkError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    sunkErrors.emplace_back(e.what());
  } catch (...) {
    sunkErrors.emplace_back("?");
  }
}

TEST(QtMessagePump, DeliversInsideAModalMessageBox) {
  QMessageBox box(QMessageBox::Information, "Quor Tallyport", "waiting", QMessageBox::Ok);
  int delivered = 0;
  HWND window = CreateMessageWindow([&](UINT, WPARAM, LPARAM) -> LRESULT {
    ++delivered;
    box.done(QMessageBox::Ok);
    return 0;
  });
  std::thread poster([&] {
    std::this_thread::sleep_for(50ms);
    PostMessage(window, WM_USER, 0, 0);
  });
  QTimer::singleShot(20s, &box, [&] { box.done(QMessageBox::Cancel); });  // never hang
  const int result = box.exec();
  poster.join();
  DestroyMessageWindow(window);
  EXPECT_EQ(result, QMessageBox::Ok);
  EXPECT_EQ(delivered, 1);
}

TEST(QtMessagePump, CrossThreadSendIsAnsweredByTheQtLoop) {
  HWND window = CreateMessageWindow([](UINT, WPARAM w, LPARAM) -> LRESULT { return w + 1; });
  std::atomic<bool> done{false};
  LRESULT answer = 0;
  bool ok = false;
  std::thread sender([&] {
    ok = SendMessageTimeout(window, WM_USER, 41, 0, 5000ms, &answer);
    done = true;
  });
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(20s, &loop, &QEventLoop::quit);
  loop.exec();
  sender.join();
  DestroyMessageWindow(window);
  EXPECT_TRUE(ok);
  EXPECT_EQ(answer, 42);
}

TEST(QtMessagePump, TickWaitsRunQtEvents) {
  bool fired = false;
  QTimer::singleShot(10ms, [&] { fired = true; });
  EXPECT_TRUE(DelayTicks(3));
  EXPECT_TRUE(fired);
}

TEST(QtMessagePump, QuitMessageEndsTheQtLoopWithItsCode) {
  QTimer::singleShot(0, [] { PostQuitMessage(5); });
  QTimer::singleShot(20s, [] { QCoreApplication::exit(-1); });
  EXPECT_EQ(QCoreApplication::exec(), 5);
}

TEST(QtMessagePump, WhatAHandlerRaisesGoesToTheSinkAndTheLoopGoesOn) {
  sunkErrors.clear();
  std::vector<WPARAM> handled;
  HWND window = CreateMessageWindow([&](UINT, WPARAM w, LPARAM) -> LRESULT {
    if (w < 10) throw std::runtime_error("failed " + std::to_string(w));
    handled.push_back(w);
    return 0;
  });
  auto sendResult = std::make_shared<std::promise<bool>>();
  std::future<bool> released = sendResult->get_future();
  std::thread([window, sendResult] {
    sendResult->set_value(SendMessageTimeout(window, WM_USER, 1, 0, 5000ms));
  }).detach();
  while (QueuedMessageCount() == 0) std::this_thread::yield();
  PostMessage(window, WM_USER, 2, 0);
  PostMessage(window, WM_USER, 20, 0);
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (sunkErrors.size() == 2 && !handled.empty()) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(20s, &loop, &QEventLoop::quit);
  loop.exec();
  DestroyMessageWindow(window);
  EXPECT_EQ(sunkErrors, (std::vector<std::string>{"failed 1", "failed 2"}));
  EXPECT_EQ(handled, (std::vector<WPARAM>{20}));
  ASSERT_EQ(released.wait_for(10s), std::future_status::ready) << "the sender still waits";
  EXPECT_FALSE(released.get());
}

}  // namespace

int main(int argc, char** argv) {
  // Widget tests never need a display, also when ctest lists them.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  platform::QtMessagePump pump(SinkError);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
