#include "platform/qt/QtMessagePump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/Messages.h"

namespace platform {
namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

void PrintError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Unknown exception\n");
  }
}

}  // namespace

// Shared with the wake hook, which any thread may call, so that a wake racing
// the pump's destruction finds no target instead of a dead object.
struct QtMessagePump::WakeTarget {
  std::mutex lock;
  QObject* target = nullptr;
  std::atomic<bool> pending{false};
};

QtMessagePump::QtMessagePump(ErrorSink errorSink, QObject* parent)
    : QObject(parent),
      wakeTarget_(std::make_shared<WakeTarget>()),
      errorSink_(errorSink ? std::move(errorSink) : PrintError) {
  wakeTarget_->target = this;
  auto wakeTarget = wakeTarget_;
  ThreadMessageHooks hooks;
  hooks.wake = [wakeTarget] {
    if (wakeTarget->pending.exchange(true)) return;
    std::lock_guard guard(wakeTarget->lock);
    if (wakeTarget->target) QCoreApplication::postEvent(wakeTarget->target, new QEvent(kWakeEvent));
  };
  hooks.wait = [](std::chrono::milliseconds timeout) {
    QTimer deadline;  // wakes the Qt wait when nothing else does
    deadline.setSingleShot(true);
    deadline.start(timeout);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  };
  SetThreadMessageHooks(std::move(hooks));
  if (QueuedMessageCount() > 0) QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
}

QtMessagePump::~QtMessagePump() {
  SetThreadMessageHooks({});
  std::lock_guard guard(wakeTarget_->lock);
  wakeTarget_->target = nullptr;
}

bool QtMessagePump::event(QEvent* event) {
  if (event->type() != kWakeEvent) return QObject::event(event);
  wakeTarget_->pending = false;
  for (;;) {
    int quitCode = 0;
    Pumped pumped = Pumped::Dispatched;
    try {
      pumped = ProcessOneMessage(&quitCode);
    } catch (...) {
      // The failed message is consumed; the ones behind it still run.
      errorSink_(std::current_exception());
      continue;
    }
    if (pumped == Pumped::None) break;
    if (pumped == Pumped::Quit) {
      QCoreApplication::exit(quitCode);
      break;
    }
  }
  return true;
}

}  // namespace platform
