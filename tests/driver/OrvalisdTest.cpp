// orvalisd on its own: options, its files in the host root, the socket
// frames, and the ports' loopback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "OrvalisdProcess.h"
#include "driver/Daemon.h"
#include "driver/Options.h"
#include "driver/StatusPageFile.h"
#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/DriverFrame.h"
#include "tests/support/UnixSocket.h"

namespace orvalisd::test {
namespace {

namespace fs = std::filesystem;

struct OptionsCase {
  const char* name;
  std::vector<std::string> arguments;
  bool valid;
  std::size_t boards;
  int totalPorts;
};

class OptionParsing : public testing::TestWithParam<OptionsCase> {};

TEST_P(OptionParsing, AcceptsOrExplains) {
  const auto& c = GetParam();
  std::string error;
  auto options = ParseOptions(c.arguments, error);
  ASSERT_EQ(options.has_value(), c.valid) << error;
  if (!options) {
    EXPECT_FALSE(error.empty());
    return;
  }
  EXPECT_EQ(options->boards.size(), c.boards);
  int ports = 0;
  for (const auto& board : options->boards) ports += board.ports;
  EXPECT_EQ(ports, c.totalPorts);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, OptionParsing,
    testing::Values(OptionsCase{"NoBoardIsOneOfEight", {"--root", "/tmp/x"}, true, 1, 8},
                    OptionsCase{
                        "TwoBoards", {"--board", "4", "--board", "16:loopback"}, true, 2, 20},
                    OptionsCase{"FourOf64FromCom1",
                                {"--first-com", "1", "--board", "64", "--board", "64", "--board",
                                 "64", "--board", "64"},
                                true,
                                4,
                                256},
                    OptionsCase{"PastCom256",
                                {"--first-com", "2", "--board", "64", "--board", "64", "--board",
                                 "64", "--board", "64"},
                                false,
                                0,
                                0},
                    OptionsCase{"ZeroPorts", {"--board", "0"}, false, 0, 0},
                    OptionsCase{"BadPlug", {"--board", "4:echo"}, false, 0, 0},
                    OptionsCase{"BadFamily", {"--family", "nt6"}, false, 0, 0},
                    OptionsCase{"TenNT4Boards",
                                {"--family", "nt4", "--board", "1", "--board", "1", "--board", "1",
                                 "--board",  "1",   "--board", "1", "--board", "1", "--board", "1",
                                 "--board",  "1",   "--board", "1", "--board", "1"},
                                false,
                                0,
                                0},
                    OptionsCase{"MissingValue", {"--board"}, false, 0, 0},
                    OptionsCase{"UnknownOption", {"--verbose"}, false, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

int ConnectTo(const std::string& path) {
  const int fd = ::test::ConnectUnix(path);
  if (fd < 0) return -1;
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

// Sends raw bytes; answers the reply's result and bytes, or nullopt when the
// daemon closed the connection.
std::optional<std::pair<std::uint32_t, std::vector<std::uint8_t>>> Exchange(
    int fd, const std::vector<std::uint8_t>& request) {
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    return std::nullopt;
  std::uint8_t header[mgmt::frame::kReplyHeaderSize];
  if (recv(fd, header, sizeof header, MSG_WAITALL) != sizeof header) return std::nullopt;
  const std::uint32_t length = mgmt::GetU32(header, 8);
  std::vector<std::uint8_t> bytes(length);
  if (length && recv(fd, bytes.data(), length, MSG_WAITALL) != static_cast<ssize_t>(length))
    return std::nullopt;
  return std::make_pair(mgmt::GetU32(header, 4), bytes);
}

std::vector<std::uint8_t> Request(std::uint32_t code, const std::vector<std::uint8_t>& input,
                                  std::uint32_t room) {
  std::vector<std::uint8_t> frame(mgmt::frame::kRequestHeaderSize);
  mgmt::frame::EncodeRequestHeader({code, static_cast<std::uint32_t>(input.size()), room},
                                   frame.data());
  frame.insert(frame.end(), input.begin(), input.end());
  return frame;
}

struct FrameCase {
  const char* name;
  std::vector<std::uint8_t> request;
  bool connectionKept;
  std::uint32_t result;
  std::size_t replyLength;
};

class Frames : public testing::TestWithParam<FrameCase> {};

TEST_P(Frames, EveryFrameValidated) {
  const auto& c = GetParam();
  TempRoot root;
  OrvalisdProcess daemon(root.Path(), {"--board", "3"});
  ASSERT_TRUE(daemon.Ready()) << daemon.Output();
  const int fd = ConnectTo(root.Path() + "/driver/board1.sock");
  ASSERT_GE(fd, 0);
  auto reply = Exchange(fd, c.request);
  EXPECT_EQ(reply.has_value(), c.connectionKept);
  if (reply) {
    EXPECT_EQ(reply->first, c.result);
    EXPECT_EQ(reply->second.size(), c.replyLength);
  }
  close(fd);
  // The daemon serves on after any frame.
  const int again = ConnectTo(root.Path() + "/driver/board1.sock");
  auto info = Exchange(again, Request(mgmt::IOCTL_BOARD_GET_INFO, {}, 120));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(mgmt::GetU32(info->second.data(), 4), 3u);
  close(again);
}

std::vector<std::uint8_t> BadMagic() {
  auto frame = Request(mgmt::IOCTL_BOARD_GET_INFO, {}, 120);
  frame[0] ^= 0xFF;
  return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Frames,
    testing::Values(FrameCase{"BoardInfo", Request(0x222004, {}, 120), true, 1, 120},
                    FrameCase{"BoardInfoShortRoom", Request(0x222004, {}, 8), true, 1, 8},
                    FrameCase{"BoardInfoTooLittleRoom", Request(0x222004, {}, 7), true, 2, 0},
                    FrameCase{"PortStatus", Request(0x222008, {2, 0, 0, 0}, 56), true, 1, 56},
                    FrameCase{"PortPastTheBoard", Request(0x222008, {3, 0, 0, 0}, 56), true, 2, 0},
                    FrameCase{"PortIndexMissing", Request(0x222008, {2, 0}, 56), true, 2, 0},
                    FrameCase{"StatusRoomTooSmall", Request(0x222008, {0, 0, 0, 0}, 55), true, 2,
                              0},
                    FrameCase{"Names", Request(0x222014, {}, 1028), true, 1, 4 + 3 * 16},
                    FrameCase{"Echo800", Request(0x222000, {1, 2, 3, 4, 5}, 3), true, 1, 3},
                    FrameCase{"Clear804", Request(0x222010, {0, 0, 0, 0}, 0), true, 1, 0},
                    FrameCase{"SelectOnNT", Request(0x222018, {'P', 'c', 'i'}, 0), true, 2, 0},
                    FrameCase{"RegistryPathOnNT5", Request(0x22201C, {}, 1024), true, 2, 0},
                    FrameCase{"UnknownCode", Request(0x222020, {}, 64), true, 2, 0},
                    FrameCase{"BadMagic", BadMagic(), false, 0, 0},
                    FrameCase{"InputTooLong",
                              [] {
                                auto frame = Request(0x222000, {}, 0);
                                mgmt::PutU32(frame.data(), 8, 0x7FFFFFFF);
                                return frame;
                              }(),
                              false, 0, 0},
                    FrameCase{"RoomTooLarge",
                              [] {
                                auto frame = Request(0x222004, {}, 0);
                                mgmt::PutU32(frame.data(), 12, 0x10001);
                                return frame;
                              }(),
                              false, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrvalisdSelect, On9xARequestNeedsASelectOnItsConnection) {
  TempRoot root;
  OrvalisdProcess daemon(root.Path(), {"--family", "9x", "--board", "2", "--board", "5"});
  ASSERT_TRUE(daemon.Ready()) << daemon.Output();
  const std::string socket = root.Path() + "/driver/orvalis.sock";
  const int fd = ConnectTo(socket);
  EXPECT_EQ(Exchange(fd, Request(0x222004, {}, 120))->first, 2u) << "nothing selected";
  const std::string second = "Pci\\VEN_7E3A&DEV_00B0&SUBSYS_00B07E3A&REV_01\\BUS_01&DEV_02&FUNC_00";
  EXPECT_EQ(Exchange(fd, Request(0x222018, {second.begin(), second.end() - 1}, 0))->first, 2u);
  EXPECT_EQ(Exchange(fd, Request(0x222018, {second.begin(), second.end()}, 0))->first, 1u);
  auto info = Exchange(fd, Request(0x222004, {}, 120));
  EXPECT_EQ(mgmt::GetU32(info->second.data(), 4), 5u);
  const int other = ConnectTo(socket);
  EXPECT_EQ(Exchange(other, Request(0x222004, {}, 120))->first, 2u)
      << "a select holds for its own connection only";
  close(other);
  close(fd);
}

TEST(OrvalisdFiles, SecondDaemonOnTheRootIsRefused) {
  TempRoot root;
  OrvalisdProcess first(root.Path(), {"--board", "1"});
  ASSERT_TRUE(first.Ready()) << first.Output();
  OrvalisdProcess second(root.Path(), {"--board", "1", "--first-com", "30"});
  EXPECT_FALSE(second.Ready());
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_NE(second.Output().find("another orvalisd"), std::string::npos) << second.Output();
  EXPECT_TRUE(fs::exists(root.Path() + "/host.json")) << "the first one's files stay";
}

TEST(OrvalisdFiles, PrivateSocketsAndEverythingRemovedOnStop) {
  TempRoot root;
  const std::string userLink = root.Path() + "/dosdevices/com9";
  fs::create_directories(root.Path() + "/dosdevices");
  fs::create_symlink("/dev/ttyUSB0", userLink);
  OrvalisdProcess daemon(root.Path(), {"--board", "2", "--first-com", "3"});
  ASSERT_TRUE(daemon.Ready()) << daemon.Output();
  struct stat info;
  ASSERT_EQ(stat((root.Path() + "/driver").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((root.Path() + "/driver/board1.sock").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_TRUE(fs::is_symlink(root.Path() + "/dosdevices/com3"));
  EXPECT_TRUE(fs::is_symlink(root.Path() + "/dosdevices/com4"));
  EXPECT_EQ(daemon.Stop(), 0);
  EXPECT_FALSE(fs::exists(root.Path() + "/host.json"));
  EXPECT_FALSE(fs::exists(root.Path() + "/driver"));
  EXPECT_FALSE(fs::is_symlink(root.Path() + "/dosdevices/com3"));
  EXPECT_TRUE(fs::is_symlink(userLink)) << "a link of the user's stays";
}

TEST(OrvalisdFiles, ForeignComLinkRefusesTheStart) {
  TempRoot root;
  fs::create_directories(root.Path() + "/dosdevices");
  fs::create_symlink("/dev/ttyUSB0", root.Path() + "/dosdevices/com4");
  OrvalisdProcess daemon(root.Path(), {"--board", "2", "--first-com", "3"});
  EXPECT_FALSE(daemon.Ready());
  EXPECT_EQ(daemon.Wait(), 1);
  EXPECT_NE(daemon.Output().find("COM4 is already taken"), std::string::npos) << daemon.Output();
  EXPECT_FALSE(fs::exists(root.Path() + "/host.json"));
  EXPECT_FALSE(fs::is_symlink(root.Path() + "/dosdevices/com3")) << "its own links are undone";
}

int OpenRaw(const std::string& path, speed_t speed) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, speed);
  tcsetattr(fd, TCSANOW, &settings);
  return fd;
}

std::string ReadFor(int fd, std::size_t count, std::chrono::milliseconds limit) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (text.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 100) != 1) continue;
    char buffer[512];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

TEST(OrvalisdLoopback, EchoesAtTheLineRate) {
  TempRoot root;
  OrvalisdProcess daemon(root.Path(), {"--board", "1:loopback", "--board", "1"});
  ASSERT_TRUE(daemon.Ready()) << daemon.Output();
  const int fd = OpenRaw(root.Path() + "/dosdevices/com3", B115200);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "hello", 5), 5);
  EXPECT_EQ(ReadFor(fd, 5, std::chrono::seconds(5)), "hello");

  // 9600 baud carries 960 bytes a second: 480 bytes cannot come back in
  // much less than half a second, however fast the machine.
  termios settings{};
  tcgetattr(fd, &settings);
  cfsetspeed(&settings, B9600);
  tcsetattr(fd, TCSANOW, &settings);
  const std::string block(480, 'x');
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(write(fd, block.data(), block.size()), 480);
  EXPECT_EQ(ReadFor(fd, 480, std::chrono::seconds(20)).size(), 480u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  close(fd);

  const int plain = OpenRaw(root.Path() + "/dosdevices/com4", B115200);
  ASSERT_EQ(write(plain, "hello", 5), 5);
  EXPECT_EQ(ReadFor(plain, 1, std::chrono::milliseconds(300)), "") << "no plug, no echo";
  close(plain);
}

}  // namespace
}  // namespace orvalisd::test

namespace orvalisd::test {
namespace {

// Handles that unloaded libraries left open must not lock out new clients.
TEST(OrvalisdConnections, OldestGivesWayToNewest) {
  TempRoot root;
  OrvalisdProcess daemon(root.Path(), {"--board", "1"});
  ASSERT_TRUE(daemon.Ready()) << daemon.Output();
  const std::string socket = root.Path() + "/driver/board1.sock";
  std::vector<int> held;
  for (std::size_t i = 0; i < 300; ++i) held.push_back(ConnectTo(socket));
  const int fresh = ConnectTo(socket);
  auto info = Exchange(fresh, Request(mgmt::IOCTL_BOARD_GET_INFO, {}, 120));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->first, 1u);
  EXPECT_FALSE(Exchange(held.front(), Request(mgmt::IOCTL_BOARD_GET_INFO, {}, 120)).has_value())
      << "the oldest was dropped";
  for (int fd : held) close(fd);
  close(fresh);
}

// A daemon of this process whose second socket plan listens on a descriptor
// that always reads as ready and never accepts (as a listener does when the
// client it announced has left before accept4 came: EAGAIN).
TEST(OrvalisdConnections, FailedAcceptDropsNoLiveClient) {
  TempRoot root;
  Options options;
  options.boards = {{1, false}, {1, false}};
  const Plan plan = MakePlan(options);
  std::vector<std::unique_ptr<PtyPort>> ports;
  for (const auto& board : plan.boards) ports.push_back(PtyPort::Create(board.firstCom, false));
  std::vector<std::unique_ptr<StatusPageFile>> pages;
  std::vector<StatusPageFile*> pageViews;
  std::string error;
  for (const auto& socket : plan.sockets) {
    pages.push_back(
        StatusPageFile::Create(root.Path() + "/" + socket.name + ".page", {{1, ""}}, false, error));
    ASSERT_TRUE(pages.back()) << error;
    pageViews.push_back(pages.back().get());
  }
  const std::string socket = root.Path() + "/board1.sock";
  int neverAccepts[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, neverAccepts), 0);
  ASSERT_EQ(send(neverAccepts[1], "x", 1, 0), 1);
  Daemon daemon(plan, std::move(ports), {::test::ListenUnix(socket), neverAccepts[0]},
                std::move(pageViews));
  const int stop = eventfd(0, EFD_CLOEXEC);
  std::thread loop([&] { daemon.Run(stop); });

  std::vector<int> clients;
  for (std::size_t i = 0; i < kMaxConnections; ++i) {
    clients.push_back(ConnectTo(socket));
    ASSERT_TRUE(Exchange(clients.back(), Request(mgmt::IOCTL_BOARD_GET_INFO, {}, 120)));
  }
  // Plenty of turns of the loop, each with a failed accept.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto info = Exchange(clients.front(), Request(mgmt::IOCTL_BOARD_GET_INFO, {}, 120));
  EXPECT_TRUE(info.has_value()) << "the oldest client was dropped for nothing";

  const std::uint64_t one = 1;
  ASSERT_EQ(write(stop, &one, sizeof one), 8);
  loop.join();
  for (int fd : clients) close(fd);
  close(neverAccepts[1]);
  close(stop);
}

}  // namespace
}  // namespace orvalisd::test
