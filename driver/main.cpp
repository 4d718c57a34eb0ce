// orvalisd: simulated multiport boards for the management library.
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "driver/Daemon.h"
#include "driver/HostRootFiles.h"
#include "driver/Options.h"
#include "driver/Publication.h"
#include "driver/StatusPageFile.h"
#include "mgmt/host/linux/HostRoot.h"
#include "mgmt/host/model/ModelJson.h"

namespace {

using namespace orvalisd;

int Fail(const std::string& message, HostRootFiles* files = nullptr) {
  std::cerr << "orvalisd: " << message << "\n";
  if (files) files->RemoveAll();
  return 1;
}

// The boards a socket's status page shows, picked by their select text on a
// socket that takes selects.
std::vector<PageBoard> PageBoards(const Plan& plan, const SocketPlan& socket) {
  std::vector<PageBoard> boards;
  for (int index : socket.boards) {
    const BoardIdentity& board = plan.boards[static_cast<std::size_t>(index)];
    boards.push_back(
        {static_cast<std::uint32_t>(board.ports), socket.selects ? board.pciPath : std::string()});
  }
  return boards;
}

void PrintPublication(const Plan& plan, const HostRootFiles& files) {
  std::cout << "orvalisd: " << plan.boards.size() << " board(s), family " << FamilyName(plan.family)
            << ", host root " << files.Root() << "\n"
            << "  host.json " << files.Root() << "/" << mgmt::kHostJsonName << "\n";
  for (const auto& board : plan.boards)
    std::cout << "  board " << board.number << ": " << board.ports << " ports, COM"
              << board.firstCom << "-COM" << board.firstCom + board.ports - 1 << " ("
              << files.ComLinkPath(board.firstCom) << " ...), device " << board.devicePath << "\n";
  std::cout << "orvalisd: ready; stop with SIGINT or SIGTERM" << std::endl;
}

int Serve(const Options& options) {
  const std::string root = options.root.empty() ? mgmt::HostRoot() : options.root;
  std::string error;
  auto files = HostRootFiles::Claim(root, error);
  if (!files) return Fail(error);

  const Plan plan = MakePlan(options);
  std::vector<std::unique_ptr<PtyPort>> ports;
  for (std::size_t b = 0; b < plan.boards.size(); ++b) {
    const BoardIdentity& board = plan.boards[b];
    for (int i = 0; i < board.ports; ++i) {
      auto port = PtyPort::Create(board.firstCom + i, options.boards[b].loopback);
      if (!port)
        return Fail(std::string("cannot make a pseudo-terminal: ") + std::strerror(errno),
                    files.get());
      if (!files->LinkPort(port->ComNumber(), port->SlavePath(), error))
        return Fail(error, files.get());
      ports.push_back(std::move(port));
    }
  }
  std::vector<int> listeners;
  for (const auto& socket : plan.sockets) {
    const int fd = files->Listen(socket.name, error);
    if (fd < 0) return Fail(error, files.get());
    listeners.push_back(fd);
  }
  std::vector<std::unique_ptr<StatusPageFile>> pages;
  for (const auto& socket : plan.sockets) {
    auto page = StatusPageFile::Create(files->ClaimStatusPage(socket.name),
                                       PageBoards(plan, socket), socket.selects, error);
    if (!page) return Fail(error, files.get());
    pages.push_back(std::move(page));
  }
  std::vector<StatusPageFile*> pageViews;
  for (const auto& page : pages) pageViews.push_back(page.get());
  Daemon daemon(plan, std::move(ports), std::move(listeners), std::move(pageViews));
  for (const auto& page : pages)
    if (!page->Name(error)) return Fail(error, files.get());
  if (!files->PublishHostJson(
          mgmt::WriteMachineJson(MakeHostMachine(plan, ORVALISD_DRIVER_VERSION)), error))
    return Fail(error, files.get());
  PrintPublication(plan, *files);

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  const bool clean = stopFd >= 0 && daemon.Run(stopFd);
  files->RemoveAll();
  return clean ? 0 : Fail("the event loop failed");
}

}  // namespace

int main(int argc, char** argv) {
  // Blocked before anything is made, so a stop signal always reaches the
  // loop and the files are always removed.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  umask(077);

  std::string error;
  auto options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::cerr << "orvalisd: " << error << "\nTry 'orvalisd --help'.\n";
    return 2;
  }
  if (options->help) {
    std::cout << kUsage;
    return 0;
  }
  return Serve(*options);
}
