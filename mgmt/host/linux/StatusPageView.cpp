#include "mgmt/host/linux/StatusPageView.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace mgmt {

namespace page = status_page;

std::unique_ptr<StatusPageView> StatusPageView::Open(const std::string& path) {
  // Non-blocking: a FIFO planted as a page must not stall the caller.
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  const bool sound =
      fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
      (info.st_mode & 077) == 0 && static_cast<std::size_t>(info.st_size) >= sizeof(page::Header) &&
      static_cast<std::size_t>(info.st_size) <= page::PageSize(page::kMaxBoards, page::kMaxPorts);
  void* mapping = MAP_FAILED;
  if (sound)
    mapping = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (mapping == MAP_FAILED) return nullptr;
  std::unique_ptr<StatusPageView> view(new StatusPageView(
      mapping, static_cast<std::size_t>(info.st_size), info.st_dev, info.st_ino));
  if (!view->TakeBoards()) return nullptr;
  return view;
}

StatusPageView::StatusPageView(const void* mapping, std::size_t size, dev_t device, ino_t inode)
    : mapping_(mapping), size_(size), device_(device), inode_(inode) {}

StatusPageView::~StatusPageView() {
  munmap(const_cast<void*>(mapping_), size_);
}

bool StatusPageView::TakeBoards() {
  page::Header header;
  std::memcpy(&header, mapping_, sizeof header);
  if (header.magic != page::kMagic || header.format != page::kFormat ||
      header.boardCount > page::kMaxBoards || header.portCount > page::kMaxPorts ||
      page::PageSize(header.boardCount, header.portCount) != size_)
    return false;
  selects_ = header.selects != 0;
  const auto* bytes = static_cast<const std::uint8_t*>(mapping_);
  for (std::uint32_t i = 0; i < header.boardCount; ++i) {
    page::BoardEntry entry;
    std::memcpy(&entry, bytes + page::kBoardsOffset + i * sizeof entry, sizeof entry);
    if (entry.selectLength > page::kMaxSelectLength || entry.firstSlot > header.portCount ||
        entry.portCount > header.portCount - entry.firstSlot)
      return false;
    boards_.push_back(
        {entry.firstSlot, entry.portCount, std::string(entry.select, entry.selectLength)});
  }
  return true;
}

bool StatusPageView::Fresh(std::uint64_t now) const {
  return page::IsFresh(*static_cast<const page::Header*>(mapping_), now);
}

bool StatusPageView::SameFile(const StatusPageView& other) const {
  return device_ == other.device_ && inode_ == other.inode_;
}

std::optional<std::uint32_t> StatusPageView::BoardOf(
    const std::optional<std::string>& select) const {
  if (!selects_) return boards_.size() == 1 ? std::optional<std::uint32_t>(0) : std::nullopt;
  if (!select) return std::nullopt;
  for (std::uint32_t i = 0; i < boards_.size(); ++i)
    if (boards_[i].select == *select) return i;
  return std::nullopt;
}

bool StatusPageView::Read(std::uint32_t board, std::uint32_t port, bool status,
                          std::uint8_t* out) const {
  const auto* slots = reinterpret_cast<const page::PortSlot*>(
      static_cast<const std::uint8_t*>(mapping_) + page::SlotsOffset(boards_.size()));
  const page::PortSlot& slot = slots[boards_[board].firstSlot + port];
  return status ? page::ReadStatus(slot, out) : page::ReadCounters(slot, out);
}

}  // namespace mgmt
