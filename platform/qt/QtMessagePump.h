// Joins the GUI thread's platform message queue to Qt: platform messages are
// delivered inside every Qt event loop (modal dialogs included), and platform
// waits on the GUI thread (WaitMessage, DelayTicks) run Qt events meanwhile.
// Create one on the GUI thread after the QApplication; it unhooks when
// destroyed. A platform quit message makes Qt's loop exit with its code.
//
// Errors: nothing a message handler raises crosses Qt's event loop. The pump
// hands it to its error sink (on the GUI thread) and goes on with the next
// message; without a sink the exception's text goes to standard error.
#pragma once

#include <QObject>
#include <exception>
#include <functional>
#include <memory>

namespace platform {

class QtMessagePump : public QObject {
 public:
  using ErrorSink = std::function<void(std::exception_ptr error)>;

  explicit QtMessagePump(ErrorSink errorSink = nullptr, QObject* parent = nullptr);
  ~QtMessagePump() override;

 protected:
  bool event(QEvent* event) override;

 private:
  struct WakeTarget;
  std::shared_ptr<WakeTarget> wakeTarget_;
  ErrorSink errorSink_;
};

}  // namespace platform
