// The comm-device contract tests run against each back-end through a harness:
// a port to open and a peer that plays the far end of the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace serial::testing_support {

class CommPeer {
 public:
  virtual ~CommPeer() = default;
  virtual void Send(const std::vector<std::uint8_t>& bytes) = 0;
  // What the device under test wrote, once count bytes came or the timeout passed.
  virtual std::vector<std::uint8_t> Receive(std::size_t count,
                                            std::chrono::milliseconds timeout) = 0;
  // Makes the device under test vanish (unplug, hang-up).
  virtual void HangUp() = 0;
};

struct CommHarness {
  std::string deviceName;  // "\\.\COMn"
  std::unique_ptr<CommPeer> peer;
  // What the line can carry: pseudo-terminals keep neither data bits nor parity.
  bool keepsByteSizeAndParity = true;
  bool canHangUp = true;
  bool hasModemLines = true;
  // Set when the back-end runs under Wine, which lacks some behaviour.
  bool underWine = false;
  // Makes writes unable to finish, where a full buffer does not do it already.
  std::function<void()> stallWrites;
  std::shared_ptr<void> keepAlive;  // whatever else the harness needs
};

// The native back-end's harness (pseudo-terminal, or a Wine COM pair); null
// with a reason when this machine cannot provide one.
std::unique_ptr<CommHarness> MakeNativeHarness(std::string& whyNot);
// A COM name that no device answers to on this machine.
std::string MissingComName();

}  // namespace serial::testing_support
