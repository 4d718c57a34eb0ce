// The shim's host on Linux: the Windows-side view that orvalisd publishes as
// host.json in the host root, served by the model, with device I/O through
// the unix sockets that host.json names and their status pages (BoardDevice),
// and COM paths opened through the host root's COM links. A missing or
// unreadable host.json gives a machine of no family.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "mgmt/host/linux/BoardDevice.h"
#include "mgmt/host/model/HostModel.h"

namespace mgmt {

// A host.json larger than this is not read.
constexpr std::size_t kMaxHostJsonSize = 4 << 20;

class LinuxHost : public HostModel {
 public:
  LinuxHost(std::string root, ModelMachine machine);

  Handle CreateFile(const std::string& path, std::uint32_t access, std::uint32_t share,
                    std::uint32_t disposition, std::uint32_t flags) override;
  bool CloseHandle(Handle handle) override;
  bool DeviceIoControl(Handle handle, std::uint32_t code, const void* input,
                       std::uint32_t inputLength, void* output, std::uint32_t outputLength,
                       std::uint32_t* bytesReturned) override;

 private:
  Handle OpenDevice(const std::string& path);
  Handle OpenComPort(int comNumber);

  std::string root_;
  std::map<Handle, std::unique_ptr<BoardDevice>> devices_;
  std::map<Handle, int> ports_;  // open COM ports: their descriptors
  Handle nextHandle_ = 0x100;
};

// The text of root/host.json, or nothing when it is missing, not a regular
// file or too large.
std::string ReadHostJson(const std::string& root);

// The host for root (its host.json read once, now).
std::unique_ptr<LinuxHost> LoadLinuxHost(const std::string& root);

}  // namespace mgmt
