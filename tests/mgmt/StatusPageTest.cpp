// Status pages from the reader's side: pages that are not sound are never
// used, the seqlock never hands out half a record, and the Linux host answers
// port requests from a fresh page as the driver would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>

#include "driver/StatusPageFile.h"
#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/LinuxHost.h"
#include "mgmt/host/linux/StatusPage.h"
#include "mgmt/host/linux/StatusPageView.h"
#include "tests/mgmt/HostRootFolder.h"
#include "tests/support/UnixSocket.h"

namespace mgmt {
namespace {

namespace fs = std::filesystem;
namespace page = status_page;

using TempFolder = ::test::HostRootFolder;

// The bytes of a page as orvalisd lays it out; each port's status record
// starts with its own slot number, so a read shows where it came from.
std::vector<std::uint8_t> PageBytes(const std::vector<orvalisd::PageBoard>& boards, bool selects,
                                    std::uint64_t heartbeat) {
  TempFolder folder;
  const std::string path = folder.Path() + "/made.page";
  std::string error;
  auto file = orvalisd::StatusPageFile::Create(path, boards, selects, error);
  EXPECT_TRUE(file) << error;
  if (!file) return {};
  std::uint32_t slot = 0;
  for (std::size_t board = 0; board < boards.size(); ++board) {
    for (std::uint32_t port = 0; port < boards[board].ports; ++port, ++slot) {
      std::array<std::uint8_t, MgmtPortStatusSize> status{};
      std::array<std::uint8_t, MgmtPortCountersSize> counters{};
      PutU32(status.data(), 0, 100 + slot);
      PutU32(counters.data(), 0, 200 + slot);
      page::WriteSlot(*file->Slot(board, port), status.data(), counters.data());
    }
  }
  file->Beat(heartbeat);
  EXPECT_TRUE(file->Name(error)) << error;
  // Read while the writer still holds it: its end marks the page stale.
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Written under a temporary name and renamed, as orvalisd does.
void WritePage(const std::string& path, const std::vector<std::uint8_t>& bytes,
               mode_t mode = 0600) {
  const std::string temporary = path + ".tmp";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  fchmod(fd, mode);
  close(fd);
  ASSERT_EQ(rename(temporary.c_str(), path.c_str()), 0);
}

// A beat that keeps a page fresh for the whole test.
std::uint64_t LastingBeat() {
  return page::MonotonicNanos() + 60'000'000'000ull;
}

struct DamageCase {
  const char* name;
  std::function<void(const std::string& path)> make;
  bool sound;
};

class PageChecks : public testing::TestWithParam<DamageCase> {};

TEST_P(PageChecks, OnlySoundPagesAreUsed) {
  TempFolder folder;
  const std::string path = folder.Path() + "/x.page";
  GetParam().make(path);
  EXPECT_EQ(StatusPageView::Open(path) != nullptr, GetParam().sound);
}

std::vector<std::uint8_t> Good() {
  return PageBytes({{2, ""}, {3, ""}}, false, LastingBeat());
}

template <typename Change>
std::function<void(const std::string&)> Damaged(Change change) {
  return [change](const std::string& path) {
    auto bytes = Good();
    change(bytes);
    WritePage(path, bytes);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PageChecks,
    testing::Values(
        DamageCase{"Sound", [](const std::string& path) { WritePage(path, Good()); }, true},
        DamageCase{"BadMagic", Damaged([](auto& b) { b[0] ^= 1; }), false},
        DamageCase{"OtherFormat", Damaged([](auto& b) { PutU32(b.data(), 4, 2); }), false},
        DamageCase{"ShorterThanAHeader", Damaged([](auto& b) { b.resize(40); }), false},
        DamageCase{"LongerThanItsHeaderSays", Damaged([](auto& b) { b.resize(b.size() + 64); }),
                   false},
        DamageCase{"MorePortsThanItHolds", Damaged([](auto& b) { PutU32(b.data(), 12, 6); }),
                   false},
        DamageCase{"BoardPastTheSlots",
                   Damaged([](auto& b) { PutU32(b.data(), page::kBoardsOffset + 256, 3); }), false},
        DamageCase{"SelectTooLong",
                   Damaged([](auto& b) { PutU32(b.data(), page::kBoardsOffset + 8, 241); }), false},
        DamageCase{"ReadableByOthers",
                   [](const std::string& path) { WritePage(path, Good(), 0644); }, false},
        DamageCase{"Link",
                   [](const std::string& path) {
                     WritePage(path + "-real", Good());
                     fs::create_symlink(path + "-real", path);
                   },
                   false},
        DamageCase{"Fifo", [](const std::string& path) { mkfifo(path.c_str(), 0600); }, false},
        DamageCase{"Missing", [](const std::string&) {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A writer changing one slot over and over, a reader that must only ever see
// whole records (every byte of a record the same value).
TEST(StatusPageSlot, ReadsAreNeverTorn) {
  page::PortSlot slot{};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    std::array<std::uint8_t, MgmtPortStatusSize> status;
    std::array<std::uint8_t, MgmtPortCountersSize> counters;
    for (std::uint32_t i = 0; !done; ++i) {
      status.fill(static_cast<std::uint8_t>(i));
      counters.fill(static_cast<std::uint8_t>(i));
      page::WriteSlot(slot, status.data(), counters.data());
      std::this_thread::yield();
    }
  });
  int torn = 0;
  std::set<std::uint8_t> seen;
  std::array<std::uint8_t, MgmtPortCountersSize> out;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (seen.size() < 200 && std::chrono::steady_clock::now() < limit) {
    if (!page::ReadCounters(slot, out.data())) continue;  // outlasted by the writer
    seen.insert(out[0]);
    for (std::uint8_t byte : out) torn += byte != out[0];
  }
  done = true;
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(seen.size(), 200u) << "reads alongside the writer";
}

constexpr char kDevice[] = "\\\\.\\Orvalis1";

// A Linux host whose device has a driver socket that accepts but never
// answers, and a page beside it.
class HostWithPage {
 public:
  explicit HostWithPage(const std::vector<std::uint8_t>& bytes) {
    WritePage(PagePath(), bytes);
    listener_ = test::ListenUnix(folder_.Path() + "/driver/x.sock");
    ModelMachine machine;
    machine.devices.push_back({kDevice, "x.sock"});
    host_ = std::make_unique<LinuxHost>(folder_.Path(), machine);
    handle_ = host_->CreateFile(kDevice, kGenericReadWrite, 0, kOpenExisting, 0);
  }
  ~HostWithPage() { close(listener_); }
  std::string PagePath() const { return folder_.Path() + "/driver/x.page"; }
  bool Opened() const { return handle_ != kInvalidHandle; }

  // The first word of the record, or nothing when the request fails.
  std::optional<std::uint32_t> Port(std::uint32_t code, std::uint32_t port,
                                    std::uint32_t room = 76) {
    std::array<std::uint8_t, 76> out{};
    std::uint32_t returned = 0;
    if (!host_->DeviceIoControl(handle_, code, &port, 4, out.data(), room, &returned))
      return std::nullopt;
    EXPECT_EQ(returned, code == IOCTL_BOARD_GET_PORT_STATUS ? 56u : 76u);
    return GetU32(out.data(), 0);
  }
  bool Select(const std::string& text) {
    return host_->DeviceIoControl(handle_, IOCTL_BOARD_SELECT, text.data(),
                                  static_cast<std::uint32_t>(text.size()), nullptr, 0, nullptr);
  }

 private:
  TempFolder folder_;
  int listener_ = -1;
  std::unique_ptr<LinuxHost> host_;
  Handle handle_ = kInvalidHandle;
};

TEST(LinuxHostPage, PortRequestsAnsweredAsTheDriverWould) {
  HostWithPage host(PageBytes({{3, ""}}, false, LastingBeat()));
  ASSERT_TRUE(host.Opened());
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_STATUS, 2), 102u);
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_COUNTERS, 0), 200u);
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_STATUS, 3), std::nullopt) << "past the board";
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_STATUS, 0, 55), std::nullopt) << "no room";
  EXPECT_FALSE(host.Select("Pci\\A")) << "a socket of one board takes no select";
}

TEST(LinuxHostPage, SelectsPickTheBoardAndARefusedOneChangesNothing) {
  HostWithPage host(PageBytes({{2, "Pci\\A"}, {2, "Pci\\B"}}, true, LastingBeat()));
  ASSERT_TRUE(host.Opened());
  EXPECT_TRUE(host.Select("Pci\\B"));
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_STATUS, 1), 103u);
  EXPECT_FALSE(host.Select("Pci\\C"));
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_STATUS, 1), 103u);
  EXPECT_TRUE(host.Select("Pci\\A"));
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_STATUS, 1), 101u);
}

TEST(LinuxHostPage, StalePageFailsUntilANewOneIsFound) {
  HostWithPage host(PageBytes({{2, ""}}, false, 0));
  ASSERT_TRUE(host.Opened());
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_STATUS, 0), std::nullopt);
  WritePage(host.PagePath(), PageBytes({{2, ""}}, false, LastingBeat()));
  // Looked for again within a second.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!host.Port(IOCTL_BOARD_GET_PORT_STATUS, 0) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(host.Port(IOCTL_BOARD_GET_PORT_STATUS, 0), 100u);
}

}  // namespace
}  // namespace mgmt
