#include "serial/ExceptionDisplay.h"

#include <cstdio>
#include <mutex>
#include <stdexcept>

namespace serial {
namespace {

std::mutex displayLock;
ExceptionDisplay& Display() {
  static ExceptionDisplay display;
  return display;
}

}  // namespace

void SetExceptionDisplay(ExceptionDisplay display) {
  std::lock_guard guard(displayLock);
  Display() = std::move(display);
}

void ShowException(const std::exception& error) {
  ExceptionDisplay display;
  {
    std::lock_guard guard(displayLock);
    display = Display();
  }
  if (display)
    display(error);
  else
    std::fprintf(stderr, "%s\n", error.what());
}

void ShowUnknownException() {
  ShowException(std::runtime_error("Unknown exception"));
}

}  // namespace serial
