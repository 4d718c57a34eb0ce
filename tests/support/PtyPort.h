// A pseudo-terminal pair whose slave is linked as a COM port of a private
// host root, for end-to-end tests on POSIX. The test holds the master: what
// it writes the port receives, what the port sends it reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace support {

// A fresh host root folder with dosdevices/, set as QUOR_HOST_ROOT for the
// life of the scope (the previous value comes back after).
class ScopedHostRoot {
 public:
  ScopedHostRoot();
  ~ScopedHostRoot();
  ScopedHostRoot(const ScopedHostRoot&) = delete;
  ScopedHostRoot& operator=(const ScopedHostRoot&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

class PtyPort {
 public:
  // Links the slave as <host root>/dosdevices/com<comNumber>.
  PtyPort(const ScopedHostRoot& root, int comNumber);
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  // Writes every byte (blocking).
  void Send(const std::vector<std::uint8_t>& bytes) const;
  void Send(const std::string& text) const;
  // Reads until count bytes have come or the timeout passes.
  std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout) const;
  // The master goes away, as when the device is unplugged.
  void HangUp();

 private:
  int master_ = -1;
  std::string slavePath_;
  std::string link_;
};

}  // namespace support
