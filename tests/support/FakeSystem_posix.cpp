#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/ComNamespace_posix.h"
#include "tests/support/FakeSystem.h"

namespace fs = std::filesystem;

namespace support {

FakeSystem::FakeSystem() {
  char pattern[] = "/tmp/quor-system-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  for (const char* folder : {"dev/serial/by-id", "sys/dev/char"})
    fs::create_directories(fs::path(root_) / folder);
  fs::create_directory_symlink("/proc", fs::path(root_) / "proc");  // real processes
  platform::SetSystemRoot(root_);
}

FakeSystem::~FakeSystem() {
  platform::SetSystemRoot("");
  for (int master : masters_) close(master);
  std::error_code error;
  fs::remove_all(root_, error);
}

std::string FakeSystem::AddUsbAdapter(int index, const std::string& serialNumber) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
    throw std::runtime_error("cannot open a pseudo-terminal");
  masters_.push_back(master);
  const std::string pty = ptsname(master);
  struct stat node;
  if (stat(pty.c_str(), &node) != 0) throw std::runtime_error("no pseudo-terminal node");

  const std::string name = "ttyUSB" + std::to_string(index);
  const std::string usbName = "1-" + std::to_string(index + 1);
  const fs::path root = root_;
  const fs::path usb = root / "sys/devices/pci0000:00/0000:00:14.0/usb1" / usbName;
  const fs::path port = usb / (usbName + ":1.0") / name;
  fs::create_directories(port / "tty" / name);
  for (auto [file, value] : {std::pair{"idVendor", "0403"},
                             {"idProduct", "6001"},
                             {"manufacturer", "FTDI"},
                             {"product", "FT232R USB UART"},
                             {"serial", serialNumber.c_str()}})
    std::ofstream(usb / file) << value << "\n";
  fs::create_symlink("../../../../../../../bus/usb-serial/drivers/ftdi_sio", port / "driver");
  fs::create_symlink("../../../" + name, port / "tty" / name / "device");
  fs::create_symlink(
      fs::relative(port / "tty" / name, root / "sys/dev/char"),
      root / "sys/dev/char" /
          (std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev))));
  fs::create_symlink(pty, root / "dev" / name);
  fs::create_symlink(
      "../../" + name,
      root / "dev/serial/by-id" / ("usb-FTDI_FT232R_USB_UART_" + serialNumber + "-if00-port0"));
  return pty;
}

void FakeSystem::AddDanglingById(const std::string& name) {
  fs::create_symlink("../../ttyUSB99", fs::path(root_) / "dev/serial/by-id" / name);
}

}  // namespace support
