// Joins the GUI thread's platform message queue to Qt: platform messages are
// delivered inside every Qt event loop (modal dialogs included), and platform
// waits on the GUI thread (WaitMessage, DelayTicks) run Qt events meanwhile.
// Create one on the GUI thread after the QApplication; it unhooks when
// destroyed. A platform quit message makes Qt's loop exit with its code.
#pragma once

#include <QObject>
#include <memory>

namespace platform {

class QtMessagePump : public QObject {
 public:
  explicit QtMessagePump(QObject* parent = nullptr);
  ~QtMessagePump() override;

 protected:
  bool event(QEvent* event) override;

 private:
  struct WakeTarget;
  std::shared_ptr<WakeTarget> wakeTarget_;
};

}  // namespace platform
