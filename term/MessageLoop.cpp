#include "term/MessageLoop.h"

#include <QCoreApplication>

#include "platform/Messages.h"

namespace term {

void ProcessPendingMessages() {
  platform::ProcessMessages();
  QCoreApplication::processEvents();
}

void WaitAndProcessMessages(std::chrono::milliseconds timeout) {
  // On the GUI thread the pump's wait hook sleeps in Qt's own wait.
  platform::WaitMessage(timeout);
  ProcessPendingMessages();
}

}  // namespace term
