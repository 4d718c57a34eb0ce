// The exception display: a message box on the GUI thread, whichever thread
// raised the exception.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <stdexcept>
#include <thread>

#include "app/ExceptionBox.h"
#include "serial/ExceptionDisplay.h"
#include "tests/app/AppTestSupport.h"

namespace app_test {
namespace {

// Closes each box that comes up, noting its text and the thread it lives on.
struct BoxWatcher {
  QStringList texts;
  bool allOnGuiThread = true;
  QTimer timer;
  BoxWatcher() {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        allOnGuiThread = allOnGuiThread && box->thread() == QApplication::instance()->thread();
        box->accept();
      }
    });
    timer.start();
  }
};

TEST(ExceptionBox, AnExceptionOfAnotherThreadIsShownOnTheGuiThread) {
  EnsureApplication();
  app::InstallGuiExceptionDisplay();
  BoxWatcher watcher;
  std::thread dispatcher(
      [] { serial::ShowException(std::runtime_error("raised on a port thread")); });
  dispatcher.join();  // returns at once: the box is not shown on that thread
  EXPECT_TRUE(watcher.texts.isEmpty());
  QTRY_COMPARE_WITH_TIMEOUT(watcher.texts.size(), 1, 5000);
  EXPECT_EQ(watcher.texts.front(), "raised on a port thread");
  EXPECT_TRUE(watcher.allOnGuiThread);
  serial::SetExceptionDisplay(nullptr);
}

TEST(ExceptionBox, WhatAMessageHandlerRaisesIsShown) {
  EnsureApplication();
  app::InstallGuiExceptionDisplay();
  BoxWatcher watcher;
  app::ShowRaised(std::make_exception_ptr(std::runtime_error("raised in a handler")));
  EXPECT_EQ(watcher.texts, QStringList{"raised in a handler"});
  serial::SetExceptionDisplay(nullptr);
}

}  // namespace
}  // namespace app_test
