// A fake machine for the COM namespace and the device description: a
// folder with dev/ and sys/ stand-ins and the real /proc, set as the system
// root for the life of the object, and USB serial adapters in it whose
// nodes lead to real pseudo-terminals that the test holds the masters of.
// POSIX.
#pragma once

#include <string>
#include <vector>

namespace support {

class FakeSystem {
 public:
  FakeSystem();
  ~FakeSystem();
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  const std::string& Root() const { return root_; }
  // dev/ttyUSB<index> leading to a fresh pseudo-terminal, known to sysfs
  // and /dev/serial/by-id as an FTDI FT232R USB UART (0403:6001, driver
  // ftdi_sio) with the serial number given; returns the pseudo-terminal.
  std::string AddUsbAdapter(int index, const std::string& serialNumber);
  // An entry of /dev/serial/by-id that leads nowhere.
  void AddDanglingById(const std::string& name);

 private:
  std::string root_;
  std::vector<int> masters_;
};

}  // namespace support
