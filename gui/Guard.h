// The one catch policy at the GUI's connections: every handler connected to
// a signal, a timer or an engine event is wrapped by Guarded, so nothing it
// raises crosses Qt's event loop; what escapes is shown by the program's
// exception display. Handlers whose own failure rule is to swallow, or to
// name a message, catch first, inside themselves. GUI thread.
#pragma once

#include <type_traits>
#include <utility>

#include "serial/ExceptionDisplay.h"

namespace gui {

// The handler takes the signal's arguments, or none.
template <class Handler>
auto Guarded(Handler handler) {
  return [handler = std::move(handler)](auto&&... args) noexcept {
    serial::RunUserAction([&] {
      if constexpr (std::is_invocable_v<const Handler&, decltype(args)...>)
        handler(std::forward<decltype(args)>(args)...);
      else
        handler();
    });
  };
}

}  // namespace gui
