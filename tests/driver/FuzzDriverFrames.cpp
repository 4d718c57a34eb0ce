// Socket frames from both ends: any bytes as a request to orvalisd's board
// requests (over real pseudo-terminal ports), and any bytes as the driver's
// reply to the shim's device socket.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/DriverRequests.h"
#include "driver/Publication.h"
#include "mgmt/host/linux/DeviceSocket.h"
#include "mgmt/host/linux/DriverFrame.h"
#include "tests/support/UnixSocket.h"

namespace {

using namespace orvalisd;

struct Boards {
  Boards() {
    Options options;
    options.family = Family::Win9x;
    options.boards = {{2, false}, {1, true}};
    plan = MakePlan(options);
    for (const auto& identity : plan.boards) {
      DriverBoard board{&identity, {}};
      for (int i = 0; i < identity.ports; ++i) {
        ports.push_back(PtyPort::Create(identity.firstCom + i, false));
        board.ports.push_back(ports.back().get());
      }
      boards.push_back(board);
    }
    for (auto& board : boards) views.push_back(&board);
  }
  Plan plan;
  std::vector<std::unique_ptr<PtyPort>> ports;
  std::vector<DriverBoard> boards;
  std::vector<const DriverBoard*> views;
};

struct ReplyServer {
  ReplyServer() {
    path = "/tmp/fuzz-frames-" + std::to_string(getpid()) + ".sock";
    unlink(path.c_str());
    listener = test::ListenUnix(path);
  }
  ~ReplyServer() { unlink(path.c_str()); }
  std::string path;
  int listener = -1;
};

void RequestSide(const std::uint8_t* data, std::size_t size) {
  static Boards boards;
  if (size < mgmt::frame::kRequestHeaderSize + 1) return;
  auto header = mgmt::frame::DecodeRequestHeader(data + 1);
  if (!header) return;
  const std::size_t available = size - 1 - mgmt::frame::kRequestHeaderSize;
  const std::size_t inputLength = std::min<std::size_t>(available, header->inputLength);
  Selection selection;
  if (data[0] & 1) selection.board = boards.views[data[0] % boards.views.size()];
  const auto answer =
      AnswerRequest(boards.views, (data[0] & 2) != 0, selection, header->code,
                    {data + 1 + mgmt::frame::kRequestHeaderSize, inputLength}, header->outputRoom);
  if (answer.bytes.size() > header->outputRoom) __builtin_trap();
}

void ReplySide(const std::uint8_t* data, std::size_t size) {
  static ReplyServer server;
  if (size < 2) return;
  const std::uint32_t room = data[0] * 4u;
  mgmt::DeviceSocket device(server.path);
  if (!device.Connect()) return;
  const int peer = accept(server.listener, nullptr, nullptr);
  // After the request (bytes that come before it are unasked for), the reply
  // and the end of the stream: the client never waits out its deadline.
  std::thread driver([&] {
    std::uint8_t request[mgmt::frame::kRequestHeaderSize];
    recv(peer, request, sizeof request, MSG_WAITALL);
    send(peer, data + 1, size - 1, MSG_NOSIGNAL);
    shutdown(peer, SHUT_WR);
  });
  std::vector<std::uint8_t> output(room, 0xCC);
  std::uint32_t returned = 0;
  device.Request(mgmt::frame::kDone, nullptr, 0, output.data(), room, returned,
                 mgmt::DeviceSocket::Clock::now() + std::chrono::milliseconds(50));
  if (returned > room) __builtin_trap();
  device.Close();
  driver.join();
  close(peer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] & 0x80)
    ReplySide(data + 1, size - 1);
  else
    RequestSide(data + 1, size - 1);
  return 0;
}
