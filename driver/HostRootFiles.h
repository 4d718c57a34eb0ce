// orvalisd's files in the host root: the 0700 socket folder with its lock,
// the COM links in dosdevices/, the sockets with their status pages and
// host.json. Holding the lock
// is what makes this orvalisd the root's one live server; RemoveAll takes
// back everything it made.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orvalisd {

class HostRootFiles {
 public:
  // Creates the folders and takes the lock; null with error set when another
  // live orvalisd serves root or the folders cannot be made safe.
  static std::unique_ptr<HostRootFiles> Claim(const std::string& root, std::string& error);
  ~HostRootFiles();
  HostRootFiles(const HostRootFiles&) = delete;
  HostRootFiles& operator=(const HostRootFiles&) = delete;

  const std::string& Root() const { return root_; }
  std::string SocketPath(const std::string& name) const;
  std::string ComLinkPath(int comNumber) const;

  // Links dosdevices/comN to target. A link left by an earlier orvalisd (to a
  // pseudo-terminal) is replaced; anything else there is an error.
  bool LinkPort(int comNumber, const std::string& target, std::string& error);
  // A listening socket at SocketPath(name), mode 0600; -1 with error set.
  int Listen(const std::string& name, std::string& error);
  // Where the status page of the socket called name goes; removed with the rest.
  std::string ClaimStatusPage(const std::string& socketName);
  // Writes host.json through a temporary file and a rename.
  bool PublishHostJson(const std::string& text, std::string& error);

  void RemoveAll();

 private:
  HostRootFiles(std::string root, int lockFd);

  std::string root_;
  int lockFd_;
  std::vector<std::pair<std::string, std::string>> links_;  // link, target
  std::vector<std::string> sockets_;                        // and status pages
  bool published_ = false;
};

}  // namespace orvalisd
