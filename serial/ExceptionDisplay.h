// The application's standard exception display: where the engine shows an
// exception that no caller can receive (one escaping a trigger event handler,
// a failed open when loading ends, one escaping a dispatcher thread). The
// program installs a display that shows a message box; until then the text
// goes to standard error. Any thread may call ShowException; the display runs
// on the calling thread.
#pragma once

#include <exception>
#include <functional>

namespace serial {

using ExceptionDisplay = std::function<void(const std::exception& error)>;

// nullptr restores the default.
void SetExceptionDisplay(ExceptionDisplay display);
void ShowException(const std::exception& error);
// For an exception of unknown type (catch (...)).
void ShowUnknownException();

}  // namespace serial

namespace serial {

// The catch policy at the GUI boundary: runs a user action or an event
// handler, and hands whatever it raises to the exception display, so that
// nothing crosses a toolkit event handler or event loop. Handlers whose own
// failure rules say "swallow" or name a message catch first, themselves.
template <class Action>
void RunUserAction(Action&& action) noexcept {
  try {
    action();
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowUnknownException();
  }
}

}  // namespace serial
