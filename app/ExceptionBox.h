// The program's exception display: a message box on the GUI thread, whichever
// thread raised the exception. From another thread (a port's dispatcher) the
// text is posted to the GUI thread and shown there; no widget is touched off
// the GUI thread.
#pragma once

#include <exception>

namespace app {

// Call on the GUI thread once the application object exists.
void InstallGuiExceptionDisplay();

// For the message pump: shows whatever a message handler raised.
void ShowRaised(std::exception_ptr error);

}  // namespace app
