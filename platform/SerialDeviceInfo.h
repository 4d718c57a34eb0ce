// What the system knows of a serial device: the node a COM path leads to,
// its /dev/serial/by-id name and what sysfs tells of it. POSIX.
//
// Read under <system root> (platform/ComNamespace_posix.h): the node's
// device number picks <root>/sys/dev/char/MAJOR:MINOR, whose device gives
// the kernel driver and, for a USB adapter, the USB device's attributes.
// Fields that cannot be read stay empty; nothing here fails or opens the
// device. Any thread.
#pragma once

#include <string>

namespace platform {

struct SerialDeviceInfo {
  // A node under /dev as the path names it; else where the path's links end.
  std::string node;
  std::string byId;  // the entry's name in /dev/serial/by-id
  std::string vendorId;
  std::string productId;
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
  std::string driver;
};

SerialDeviceInfo DescribeSerialDevice(const std::string& path, const std::string& systemRoot);

}  // namespace platform
