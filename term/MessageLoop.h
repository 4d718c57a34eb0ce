// The terminal window's message waits on the GUI thread: platform messages
// (the port's trigger events) and Qt events both run, and a wait sleeps until
// something arrives instead of spinning.
#pragma once

#include <chrono>

namespace term {

// Runs what is queued now, platform messages and Qt events, and returns.
void ProcessPendingMessages();

// Sleeps until a platform message or a Qt event arrives or the timeout
// passes, then runs what is queued.
void WaitAndProcessMessages(std::chrono::milliseconds timeout);

}  // namespace term
