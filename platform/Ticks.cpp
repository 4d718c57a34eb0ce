#include "platform/Ticks.h"

#include <chrono>

#include "platform/Messages.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t MillisecondsNow() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::uint32_t GetTickCount() {
  return static_cast<std::uint32_t>(MillisecondsNow());
}

bool DelayTicks(int ticks) {
  if (ticks < 1) return true;
  const std::int64_t endTick = MillisecondsNow() / kTickMs + ticks;
  for (;;) {
    int quitCode = 0;
    Pumped pumped = ProcessOneMessage(&quitCode);
    if (pumped == Pumped::Quit) {
      PostQuitMessage(quitCode);
      return false;
    }
    const std::int64_t now = MillisecondsNow();
    if (now / kTickMs >= endTick) return true;
    // Sleep until a message arrives or the next boundary, never spinning.
    if (pumped == Pumped::None) WaitMessage(std::chrono::milliseconds(endTick * kTickMs - now));
  }
}

}  // namespace platform
