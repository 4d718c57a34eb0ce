// orvalisd's end of one status page (the format is mgmt/host/linux's
// StatusPage.h): the file is made under a temporary name, mode 0600, filled
// (header, boards, then the ports' slots), and only then named, so a reader
// never meets half a page. It stays mapped for writing while orvalisd runs;
// the daemon's one thread writes it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mgmt/host/linux/StatusPage.h"

namespace orvalisd {

struct PageBoard {
  std::uint32_t ports = 0;
  std::string select;  // the board's select text; empty on a socket of one board
};

class StatusPageFile {
 public:
  // The page under path + ".tmp"; null with error set when it cannot be made.
  // When the object goes, the page's heartbeat is cleared: stale at once.
  static std::unique_ptr<StatusPageFile> Create(const std::string& path,
                                                const std::vector<PageBoard>& boards, bool selects,
                                                std::string& error);
  ~StatusPageFile();
  StatusPageFile(const StatusPageFile&) = delete;
  StatusPageFile& operator=(const StatusPageFile&) = delete;

  // The slot of a board's port (board: its position on the page).
  mgmt::status_page::PortSlot* Slot(std::size_t board, std::uint32_t port);
  void Beat(std::uint64_t now);
  // Renames the filled page to its path.
  bool Name(std::string& error);

 private:
  StatusPageFile(std::string path, void* mapping, std::size_t size,
                 std::vector<std::uint32_t> firstSlots);

  std::string path_;
  bool named_ = false;
  void* mapping_;
  std::size_t size_;
  std::vector<std::uint32_t> firstSlots_;
};

}  // namespace orvalisd
