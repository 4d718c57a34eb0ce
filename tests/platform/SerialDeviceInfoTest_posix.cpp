// What a fake sysfs tells of a USB adapter whose node leads to a real
// pseudo-terminal, and what is left when links lead nowhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/SerialDeviceInfo.h"
#include "tests/support/FakeSystem.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

TEST(SerialDeviceInfo, AUsbAdapterIsDescribedFromSysfsAndById) {
  support::FakeSystem machine;
  machine.AddDanglingById("usb-gone-if00-port0");
  machine.AddUsbAdapter(0, "A601B2C3");
  const SerialDeviceInfo info =
      DescribeSerialDevice(machine.Root() + "/dev/ttyUSB0", machine.Root());
  EXPECT_EQ(info.node, "/dev/ttyUSB0");
  EXPECT_EQ(info.byId, "usb-FTDI_FT232R_USB_UART_A601B2C3-if00-port0");
  EXPECT_EQ(info.vendorId + ":" + info.productId, "0403:6001");
  EXPECT_EQ(info.manufacturer, "FTDI");
  EXPECT_EQ(info.product, "FT232R USB UART");
  EXPECT_EQ(info.serialNumber, "A601B2C3");
  EXPECT_EQ(info.driver, "ftdi_sio");
}

TEST(SerialDeviceInfo, WhatCannotBeFoundStaysEmpty) {
  support::FakeSystem machine;
  const std::string pty = machine.AddUsbAdapter(0, "A601B2C3");
  const fs::path root = machine.Root();
  fs::create_symlink("/nonexistent/tty", root / "dangling");
  fs::create_symlink(root / "dev/ttyUSB0", root / "com5");  // a pinning link
  EXPECT_EQ(DescribeSerialDevice((root / "com5").string(), root).node, pty);
  const SerialDeviceInfo dangling = DescribeSerialDevice((root / "dangling").string(), root);
  EXPECT_EQ(dangling.node, "/nonexistent/tty");
  EXPECT_EQ(dangling.byId + dangling.vendorId + dangling.driver, "");
  std::ofstream(root / "dev/ttyS0");  // a plain file: no device number
  const SerialDeviceInfo plain = DescribeSerialDevice((root / "dev/ttyS0").string(), root);
  EXPECT_EQ(plain.node, "/dev/ttyS0");
  EXPECT_EQ(plain.byId + plain.vendorId + plain.driver, "");
  // The real system knows nothing of a pseudo-terminal beyond its node.
  const SerialDeviceInfo real = DescribeSerialDevice(pty, "");
  EXPECT_EQ(real.node, pty);
  EXPECT_EQ(real.byId + real.vendorId + real.product, "");
}

}  // namespace
