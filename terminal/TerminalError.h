// The one exception the buffer raises: a dimension or plane request it
// refuses. The buffer is left unchanged when it is thrown.
#pragma once

#include <stdexcept>

namespace terminal {

struct TerminalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace terminal
