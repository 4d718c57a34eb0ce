// The texts that name a port's holders and describe its device, for the
// panels, the tree and board grid tool tips and the open-failure box. GUI
// thread.
#pragma once

#include <QString>
#include <vector>

#include "platform/PortHolders.h"
#include "platform/SerialDeviceInfo.h"

namespace gui {

// "minicom (pid 4242, user ana)", several joined by ", "; a holder whose
// program cannot be read is "a program of another user" (with its pid when
// its lock gives one), and so is a port held where nothing names the
// holder (no holders).
QString HolderText(const std::vector<platform::PortHolder>& holders);

// "In use by " + a HolderText: the line of a tool tip and of the
// open-failure box that names the holders.
QString InUseByText(const QString& holderText);

// One line each for what is known: the node, the by-id name, "USB
// vendor:product", manufacturer and product, "serial number ...",
// "driver ...".
QString DeviceText(const platform::SerialDeviceInfo& info);

}  // namespace gui
