// A status page as the shim sees it: the file mapped read-only, checked once
// when it is opened (a regular file of this user with no group or other
// access, exactly the size its header gives, every board inside the slots)
// and its board table copied out, so only the heartbeat and the port slots
// are read from the mapping afterwards. One thread at a time.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mgmt/host/linux/StatusPage.h"

namespace mgmt {

class StatusPageView {
 public:
  // Null when the file is missing or is not a sound page.
  static std::unique_ptr<StatusPageView> Open(const std::string& path);
  ~StatusPageView();
  StatusPageView(const StatusPageView&) = delete;
  StatusPageView& operator=(const StatusPageView&) = delete;

  // Whether its writer beat within the stale limit of now (MonotonicNanos).
  bool Fresh(std::uint64_t now) const;
  // Whether both views map the same file.
  bool SameFile(const StatusPageView& other) const;

  bool Selects() const { return selects_; }
  // The board picked by a select text (a page that selects), or the page's
  // one board (a page that does not); none when nothing matches.
  std::optional<std::uint32_t> BoardOf(const std::optional<std::string>& select) const;
  std::uint32_t PortCount(std::uint32_t board) const { return boards_[board].portCount; }

  // The port's status (else counters) record, whole, into out; false when the
  // writer stopped in the middle of changing it.
  bool Read(std::uint32_t board, std::uint32_t port, bool status, std::uint8_t* out) const;

 private:
  struct Board {
    std::uint32_t firstSlot = 0;
    std::uint32_t portCount = 0;
    std::string select;
  };
  StatusPageView(const void* mapping, std::size_t size, dev_t device, ino_t inode);
  bool TakeBoards();

  const void* mapping_;
  std::size_t size_;
  dev_t device_;
  ino_t inode_;
  bool selects_ = false;
  std::vector<Board> boards_;
};

}  // namespace mgmt
