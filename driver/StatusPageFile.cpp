#include "driver/StatusPageFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvalisd {

namespace page = mgmt::status_page;

namespace {

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

void FillHeaderAndBoards(std::uint8_t* bytes, const std::vector<PageBoard>& boards, bool selects,
                         std::uint32_t portCount, std::vector<std::uint32_t>& firstSlots) {
  page::Header header{};
  header.magic = page::kMagic;
  header.format = page::kFormat;
  header.boardCount = static_cast<std::uint32_t>(boards.size());
  header.portCount = portCount;
  header.selects = selects ? 1 : 0;
  header.writerPid = static_cast<std::uint32_t>(getpid());
  header.heartbeat = page::MonotonicNanos();
  std::memcpy(bytes, &header, sizeof header);
  std::uint32_t slot = 0;
  for (std::size_t i = 0; i < boards.size(); ++i) {
    page::BoardEntry entry{};
    entry.firstSlot = slot;
    entry.portCount = boards[i].ports;
    entry.selectLength = static_cast<std::uint32_t>(boards[i].select.size());
    std::memcpy(entry.select, boards[i].select.data(), boards[i].select.size());
    std::memcpy(bytes + page::kBoardsOffset + i * sizeof entry, &entry, sizeof entry);
    firstSlots.push_back(slot);
    slot += boards[i].ports;
  }
}

}  // namespace

std::unique_ptr<StatusPageFile> StatusPageFile::Create(const std::string& path,
                                                       const std::vector<PageBoard>& boards,
                                                       bool selects, std::string& error) {
  std::uint32_t portCount = 0;
  for (const auto& board : boards) {
    if (board.select.size() > page::kMaxSelectLength) {
      error = "a board select text is too long for the status page";
      return nullptr;
    }
    portCount += board.ports;
  }
  if (boards.size() > page::kMaxBoards || portCount > page::kMaxPorts) {
    error = "too many boards or ports for one status page";
    return nullptr;
  }
  const std::size_t size = page::PageSize(static_cast<std::uint32_t>(boards.size()), portCount);
  const std::string temporary = path + ".tmp";
  unlink(temporary.c_str());
  const int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = SystemError("cannot make " + temporary);
    return nullptr;
  }
  void* mapping = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(size)) == 0)
    mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (mapping == MAP_FAILED) {
    error = SystemError("cannot map " + temporary);
    unlink(temporary.c_str());
    return nullptr;
  }
  std::vector<std::uint32_t> firstSlots;
  FillHeaderAndBoards(static_cast<std::uint8_t*>(mapping), boards, selects, portCount, firstSlots);
  return std::unique_ptr<StatusPageFile>(
      new StatusPageFile(path, mapping, size, std::move(firstSlots)));
}

StatusPageFile::StatusPageFile(std::string path, void* mapping, std::size_t size,
                               std::vector<std::uint32_t> firstSlots)
    : path_(std::move(path)), mapping_(mapping), size_(size), firstSlots_(std::move(firstSlots)) {}

bool StatusPageFile::Name(std::string& error) {
  named_ = rename((path_ + ".tmp").c_str(), path_.c_str()) == 0;
  if (named_) return true;
  error = SystemError("cannot name " + path_);
  return false;
}

StatusPageFile::~StatusPageFile() {
  // Readers that still map it take it as stale at once: its driver is gone.
  Beat(0);
  munmap(mapping_, size_);
  if (!named_) unlink((path_ + ".tmp").c_str());
}

page::PortSlot* StatusPageFile::Slot(std::size_t board, std::uint32_t port) {
  auto* slots = reinterpret_cast<page::PortSlot*>(
      static_cast<std::uint8_t*>(mapping_) +
      page::SlotsOffset(static_cast<std::uint32_t>(firstSlots_.size())));
  return &slots[firstSlots_[board] + port];
}

void StatusPageFile::Beat(std::uint64_t now) {
  page::Beat(*static_cast<page::Header*>(mapping_), now);
}

}  // namespace orvalisd
