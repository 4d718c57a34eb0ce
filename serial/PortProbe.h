// IsPortAvailable: does COM port n exist? Used to list the ports that are not
// on a board. Opens and closes the device once, touching neither its
// settings nor its lines. GUI thread.
#pragma once

#include <cstdint>

namespace serial {

// Probe through a temporary dispatcher (on by default) or open the device
// directly; either way only the open step runs.
extern bool ProbeThroughDispatcher;
// Count a port that another program holds (access denied) as available
// (on by default).
extern bool CountBusyPorts;

bool IsPortAvailable(std::uint16_t comNumber);

}  // namespace serial
