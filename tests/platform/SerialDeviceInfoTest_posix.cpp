// What a fake sysfs tells of a USB adapter whose node leads to a real
// pseudo-terminal, and what is left when links lead nowhere.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/SerialDeviceInfo.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class FakeUsbAdapter : public testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master_, 0);
    grantpt(master_);
    unlockpt(master_);
    pty_ = ptsname(master_);
    struct stat node;
    ASSERT_EQ(stat(pty_.c_str(), &node), 0);
    const fs::path usb = root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const fs::path port = usb / "1-2:1.0/ttyUSB0";
    fs::create_directories(port / "tty/ttyUSB0");
    for (auto [name, value] : {std::pair{"idVendor", "0403"},
                               {"idProduct", "6001"},
                               {"manufacturer", "FTDI"},
                               {"product", "FT232R USB UART"},
                               {"serial", "A601B2C3"}})
      std::ofstream(usb / name) << value << "\n";
    fs::create_symlink("../../../../../../../bus/usb-serial/drivers/ftdi_sio", port / "driver");
    fs::create_symlink("../../../ttyUSB0", port / "tty/ttyUSB0/device");
    fs::create_directories(root_ / "sys/dev/char");
    fs::create_symlink(
        fs::relative(port / "tty/ttyUSB0", root_ / "sys/dev/char"),
        root_ / "sys/dev/char" /
            (std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev))));
    fs::create_directories(root_ / "dev/serial/by-id");
    fs::create_symlink(pty_, root_ / "dev/ttyUSB0");
    fs::create_symlink("../../ttyUSB9", root_ / "dev/serial/by-id/usb-gone-if00-port0");
    fs::create_symlink("../../ttyUSB0",
                       root_ / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A601B2C3-if00-port0");
  }
  void TearDown() override {
    close(master_);
    fs::remove_all(root_);
  }

  fs::path root_ = fs::temp_directory_path() / ("quor-sys-" + std::to_string(getpid()));
  int master_ = -1;
  std::string pty_;
};

TEST_F(FakeUsbAdapter, IsDescribedFromSysfsAndById) {
  const SerialDeviceInfo info = DescribeSerialDevice((root_ / "dev/ttyUSB0").string(), root_);
  EXPECT_EQ(info.node, pty_);
  EXPECT_EQ(info.byId, "usb-FTDI_FT232R_USB_UART_A601B2C3-if00-port0");
  EXPECT_EQ(info.vendorId + ":" + info.productId, "0403:6001");
  EXPECT_EQ(info.manufacturer, "FTDI");
  EXPECT_EQ(info.product, "FT232R USB UART");
  EXPECT_EQ(info.serialNumber, "A601B2C3");
  EXPECT_EQ(info.driver, "ftdi_sio");
}

TEST_F(FakeUsbAdapter, WhatCannotBeFoundStaysEmpty) {
  fs::create_symlink("/nonexistent/tty", root_ / "dangling");
  const SerialDeviceInfo dangling = DescribeSerialDevice((root_ / "dangling").string(), root_);
  EXPECT_EQ(dangling.node, "/nonexistent/tty");
  EXPECT_EQ(dangling.byId + dangling.vendorId + dangling.driver, "");
  std::ofstream(root_ / "dev/ttyS0");  // a plain file: no device number
  const SerialDeviceInfo plain = DescribeSerialDevice((root_ / "dev/ttyS0").string(), root_);
  EXPECT_EQ(plain.node, "/dev/ttyS0");
  EXPECT_EQ(plain.byId + plain.vendorId + plain.driver, "");
  // The real system knows nothing of a pseudo-terminal beyond its node.
  const SerialDeviceInfo pty = DescribeSerialDevice(pty_, "");
  EXPECT_EQ(pty.node, pty_);
  EXPECT_EQ(pty.byId + pty.vendorId + pty.product, "");
}

}  // namespace
