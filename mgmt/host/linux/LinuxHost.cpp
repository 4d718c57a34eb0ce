#include "mgmt/host/linux/LinuxHost.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mgmt/SystemHost.h"
#include "mgmt/host/linux/HostRoot.h"
#include "mgmt/host/model/ModelJson.h"

namespace mgmt {

std::string ReadHostJson(const std::string& root) {
  const std::string path = root + "/" + kHostJsonName;
  // Non-blocking: a FIFO planted as host.json must not stall the loading program.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat info;
  std::string text;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::size_t>(info.st_size) <= kMaxHostJsonSize) {
    text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t got = read(fd, text.data() + done, text.size() - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    text.resize(done);
  }
  close(fd);
  return text;
}

std::unique_ptr<LinuxHost> LoadLinuxHost(const std::string& root) {
  return std::make_unique<LinuxHost>(root, ReadMachineJson(ReadHostJson(root)));
}

std::unique_ptr<Host> CreateSystemHost() {
  return LoadLinuxHost(HostRoot());
}

LinuxHost::LinuxHost(std::string root, ModelMachine machine)
    : HostModel(std::move(machine)), root_(std::move(root)) {}

Handle LinuxHost::CreateFile(const std::string& path, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t) {
  if (const int comNumber = ComNumberOfPath(path)) return OpenComPort(comNumber);
  return OpenDevice(path);
}

Handle LinuxHost::OpenDevice(const std::string& path) {
  for (const auto& device : Machine().devices) {
    if (!SameName(device.path, path)) continue;
    if (!IsSafeSocketName(device.socket)) return kInvalidHandle;
    const std::string folder = root_ + "/" + kSocketFolderName + "/";
    auto board = std::make_unique<BoardDevice>(folder + device.socket,
                                               folder + StatusPageName(device.socket));
    if (!board->Open()) return kInvalidHandle;
    const Handle handle = nextHandle_++;
    devices_[handle] = std::move(board);
    return handle;
  }
  return kInvalidHandle;
}

Handle LinuxHost::OpenComPort(int comNumber) {
  const std::string device = ComDevicePath(root_, comNumber);
  // Non-blocking and without a controlling terminal: a port with no carrier
  // must not stall the open, and the loading program must not gain a tty.
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kInvalidHandle;
  if (!isatty(fd)) {
    close(fd);
    return kInvalidHandle;
  }
  const Handle handle = nextHandle_++;
  ports_[handle] = fd;
  return handle;
}

bool LinuxHost::CloseHandle(Handle handle) {
  if (auto port = ports_.find(handle); port != ports_.end()) {
    close(port->second);
    ports_.erase(port);
    return true;
  }
  auto device = devices_.find(handle);
  if (device == devices_.end()) return false;
  device->second->Close();
  devices_.erase(device);
  return true;
}

bool LinuxHost::DeviceIoControl(Handle handle, std::uint32_t code, const void* input,
                                std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                                std::uint32_t* bytesReturned) {
  auto device = devices_.find(handle);
  if (device == devices_.end()) return false;
  std::uint32_t returned = 0;
  const bool done =
      device->second->Control(code, input, inputLength, output, outputLength, returned);
  if (bytesReturned) *bytesReturned = returned;
  return done;
}

}  // namespace mgmt
