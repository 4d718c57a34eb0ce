// The Linux host against sockets and host roots that misbehave.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "mgmt/ByteOrder.h"
#include "mgmt/MgmtCommand.h"
#include "mgmt/host/linux/DriverFrame.h"
#include "mgmt/host/linux/LinuxHost.h"
#include "mgmt/host/model/ModelJson.h"
#include "tests/mgmt/HostRootFolder.h"
#include "tests/support/UnixSocket.h"

namespace mgmt {
namespace {

namespace fs = std::filesystem;
constexpr char kDevice[] = "\\\\.\\Orvalis1";

using TempFolder = ::test::HostRootFolder;

// A driver socket whose one connection is served by a script: it gets the
// request frame and the connection.
class ScriptedSocket {
 public:
  using Script = std::function<void(int fd, const frame::RequestHeader& request)>;
  ScriptedSocket(const std::string& path, Script script) {
    listener_ = test::ListenUnix(path);
    thread_ = std::thread([this, script] { Serve(script); });
  }
  ~ScriptedSocket() {
    thread_.join();
    close(listener_);
  }

 private:
  void Serve(const Script& script) {
    pollfd entry{listener_, POLLIN, 0};
    if (poll(&entry, 1, 5000) != 1) return;
    const int fd = accept(listener_, nullptr, nullptr);
    std::uint8_t header[frame::kRequestHeaderSize];
    if (recv(fd, header, sizeof header, MSG_WAITALL) == sizeof header) {
      auto request = frame::DecodeRequestHeader(header);
      std::vector<std::uint8_t> input(request ? request->inputLength : 0);
      if (!input.empty()) recv(fd, input.data(), input.size(), MSG_WAITALL);
      if (request) script(fd, *request);
    }
    // Until the client lets go, so a silent script stays silent.
    char byte;
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, 5000) == 1) recv(fd, &byte, 1, 0);
    close(fd);
  }

  int listener_ = -1;
  std::thread thread_;
};

void Reply(int fd, std::uint32_t magicFlip, std::uint32_t result, std::vector<std::uint8_t> bytes,
           std::uint32_t claimedLength) {
  std::vector<std::uint8_t> reply(frame::kReplyHeaderSize);
  frame::EncodeReplyHeader({result, claimedLength}, reply.data());
  reply[0] ^= static_cast<std::uint8_t>(magicFlip);
  reply.insert(reply.end(), bytes.begin(), bytes.end());
  send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
}

struct ReplyCase {
  const char* name;
  ScriptedSocket::Script script;
  bool done;
  std::size_t written;  // bytes of the 56-byte buffer the reply may change
};

class MisbehavingDriver : public testing::TestWithParam<ReplyCase> {};

TEST_P(MisbehavingDriver, FailsWithinASecondAndNeverWritesPastTheReply) {
  const auto& c = GetParam();
  TempFolder root;
  ModelMachine machine;
  machine.devices.push_back({kDevice, "x.sock"});
  ScriptedSocket server(root.Path() + "/driver/x.sock", c.script);
  LinuxHost host(root.Path(), machine);
  const Handle handle = host.CreateFile(kDevice, kGenericReadWrite, 0, kOpenExisting, 0);
  ASSERT_NE(handle, kInvalidHandle);
  std::array<std::uint8_t, 64> out;
  out.fill(0xCC);
  std::uint32_t port = 0, returned = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(host.DeviceIoControl(handle, IOCTL_BOARD_GET_PORT_STATUS, &port, 4, out.data(), 56,
                                 &returned),
            c.done);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  for (std::size_t i = c.written; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCC) << i;
  host.CloseHandle(handle);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MisbehavingDriver,
    testing::Values(
        ReplyCase{"ShortAnswerLeavesTheRest",
                  [](int fd, auto) {
                    Reply(fd, 0, 1, {1, 0, 0, 0, 7, 7, 7, 7}, 8);
                  },
                  true, 8},
        ReplyCase{"Refused", [](int fd, auto) { Reply(fd, 0, 2, {}, 0); }, false, 0},
        ReplyCase{"Silent", [](int, auto) {}, false, 0},
        ReplyCase{"ClosesAtOnce", [](int fd, auto) { shutdown(fd, SHUT_RDWR); }, false, 0},
        ReplyCase{"BadMagic",
                  [](int fd, auto) { Reply(fd, 0xFF, 1, std::vector<std::uint8_t>(56), 56); },
                  false, 0},
        ReplyCase{"UnknownResult", [](int fd, auto) { Reply(fd, 0, 7, {}, 0); }, false, 0},
        ReplyCase{"LongerThanTheRoom",
                  [](int fd, auto) { Reply(fd, 0, 1, std::vector<std::uint8_t>(64, 9), 64); },
                  false, 0},
        ReplyCase{"CutShort",
                  [](int fd, auto) { Reply(fd, 0, 1, std::vector<std::uint8_t>(20, 9), 56); },
                  false, 0},
        ReplyCase{"RoomAsAsked",
                  [](int fd, auto request) {
                    Reply(fd, 0, request.outputRoom == 56 && request.code == 0x222008 ? 1 : 2, {},
                          0);
                  },
                  true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

class UnsafeSocketNames : public testing::TestWithParam<const char*> {};

TEST_P(UnsafeSocketNames, AreNeverOpened) {
  TempFolder root;
  ModelMachine machine;
  machine.devices.push_back({kDevice, GetParam()});
  LinuxHost host(root.Path(), machine);
  EXPECT_EQ(host.CreateFile(kDevice, kGenericReadWrite, 0, kOpenExisting, 0), kInvalidHandle);
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnsafeSocketNames,
    testing::Values("../x.sock", "/tmp/x.sock", "a/b", ".hidden", "", "x\\y",
                    "way-too-long-name-way-too-long-name-way-too-long-name-way-too-long"));

TEST(LinuxHostRoot, HostJsonThatIsNoFileReadsAsNothing) {
  TempFolder root;
  const std::string path = root.Path() + "/host.json";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  auto host = LoadLinuxHost(root.Path());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  OsVersion version;
  ASSERT_TRUE(host->GetVersionEx(kVersionRecordExtended, version));
  EXPECT_EQ(version.platformId, 0u);
  fs::remove(path);
  fs::create_directory(path);
  EXPECT_EQ(ReadHostJson(root.Path()), "");
}

TEST(LinuxHostRoot, OversizedHostJsonIsNotRead) {
  TempFolder root;
  std::ofstream(root.Path() + "/host.json")
      << R"({"version": {"platform": 2, "major": 5}, "pad": ")"
      << std::string(kMaxHostJsonSize, 'x') << "\"}";
  EXPECT_EQ(ReadHostJson(root.Path()), "");
}

TEST(LinuxHostRoot, ComPathsOpenOnlyTerminals) {
  TempFolder root;
  fs::create_directories(root.Path() + "/dosdevices");
  std::ofstream(root.Path() + "/plain") << "x";
  fs::create_symlink(root.Path() + "/plain", root.Path() + "/dosdevices/com5");
  ASSERT_EQ(mkfifo((root.Path() + "/fifo").c_str(), 0600), 0);
  fs::create_symlink(root.Path() + "/fifo", root.Path() + "/dosdevices/com6");
  fs::create_symlink("/dev/tty-not-there", root.Path() + "/dosdevices/com7");
  LinuxHost host(root.Path(), ModelMachine{});
  for (const char* path :
       {"\\\\.\\COM5", "\\\\.\\COM6", "\\\\.\\COM7", "\\\\.\\COM0", "\\\\.\\COM257"})
    EXPECT_EQ(host.CreateFile(path, kGenericReadWrite, 0, kOpenExisting, 0), kInvalidHandle)
        << path;
}

// A driver that answers its first request too late: the host fails it and
// does not ask again until its look, which drops the late reply, so the next
// request gets its own answer and not the stale one.
TEST(LinuxHostStall, LateReplyIsDroppedNotTakenForTheNextOne) {
  TempFolder root;
  ModelMachine machine;
  machine.devices.push_back({kDevice, "x.sock"});
  const int listener = test::ListenUnix(root.Path() + "/driver/x.sock");
  std::thread driver([listener] {
    const int fd = accept(listener, nullptr, nullptr);
    for (std::uint8_t answer : {0x11, 0x22}) {
      std::uint8_t request[frame::kRequestHeaderSize + 4];
      if (recv(fd, request, sizeof request, MSG_WAITALL) != sizeof request) break;
      if (answer == 0x11) std::this_thread::sleep_for(std::chrono::milliseconds(300));
      Reply(fd, 0, 1, std::vector<std::uint8_t>(56, answer), 56);
    }
    char byte;
    recv(fd, &byte, 1, 0);  // until the host lets go
    close(fd);
  });
  LinuxHost host(root.Path(), machine);
  const Handle handle = host.CreateFile(kDevice, kGenericReadWrite, 0, kOpenExisting, 0);
  ASSERT_NE(handle, kInvalidHandle);
  auto ask = [&] {
    std::array<std::uint8_t, 56> out{};
    std::uint32_t port = 0, returned = 0;
    const bool done = host.DeviceIoControl(handle, IOCTL_BOARD_GET_PORT_STATUS, &port, 4,
                                           out.data(), 56, &returned);
    return done ? out[0] : 0;
  };
  EXPECT_EQ(ask(), 0) << "too late";
  EXPECT_EQ(ask(), 0) << "still stalled";
  std::this_thread::sleep_for(kStallLookInterval + std::chrono::milliseconds(300));
  EXPECT_EQ(ask(), 0x22);
  host.CloseHandle(handle);
  driver.join();
  close(listener);
}

}  // namespace
}  // namespace mgmt
