// Tick waits: a tick is 55 ms of a monotonic millisecond clock.
#pragma once

#include <cstdint>

namespace platform {

constexpr int kTickMs = 55;

// Milliseconds of a monotonic clock (wraps like the Windows tick count).
std::uint32_t GetTickCount();

// Waits until N tick boundaries have passed, delivering the calling thread's
// messages one at a time meanwhile (and, on the GUI thread, toolkit events).
// A quit message ends the wait early: it is posted again and the result is
// false. N < 1 returns true at once.
bool DelayTicks(int ticks);

}  // namespace platform
