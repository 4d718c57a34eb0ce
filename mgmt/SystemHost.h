// The host the shipped library runs on: the real Windows calls in the Windows
// build, the host root (host.json and device sockets) on Linux. Called once,
// at attach; never throws.
#pragma once

#include <memory>

#include "mgmt/Host.h"

namespace mgmt {

std::unique_ptr<Host> CreateSystemHost();

}  // namespace mgmt
