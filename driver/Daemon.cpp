#include "driver/Daemon.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mgmt/host/linux/DriverFrame.h"

namespace orvalisd {

namespace frame = mgmt::frame;

struct Daemon::Connection {
  int fd = -1;
  const Listener* listener = nullptr;
  Selection selection;
  std::vector<std::uint8_t> in;   // the request being read
  std::vector<std::uint8_t> out;  // the reply being written
  std::size_t sent = 0;
  ~Connection() { close(fd); }
};

Daemon::Daemon(const Plan& plan, std::vector<std::unique_ptr<PtyPort>> ports,
               std::vector<int> listenerFds, std::vector<StatusPageFile*> pages)
    : plan_(plan), ports_(std::move(ports)), pages_(std::move(pages)) {
  std::size_t next = 0;
  boards_.reserve(plan_.boards.size());
  for (const auto& identity : plan_.boards) {
    DriverBoard board{&identity, {}};
    for (int i = 0; i < identity.ports; ++i) board.ports.push_back(ports_[next++].get());
    boards_.push_back(board);
  }
  for (std::size_t i = 0; i < plan_.sockets.size(); ++i) {
    Listener listener{listenerFds[i], &plan_.sockets[i], {}};
    for (int board : plan_.sockets[i].boards) listener.boards.push_back(&boards_[board]);
    for (std::size_t b = 0; b < listener.boards.size(); ++b)
      for (std::size_t p = 0; p < listener.boards[b]->ports.size(); ++p)
        listener.boards[b]->ports[p]->AttachSlot(pages_[i]->Slot(b, static_cast<std::uint32_t>(p)));
    listeners_.push_back(listener);
  }
  // Opens and closes of a slave wake the loop, so a port is relayed, and its
  // open state shown, from the moment a program opens it without polling.
  inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  for (const auto& port : ports_) {
    const int watch = inotifyFd_ >= 0 ? inotify_add_watch(inotifyFd_, port->SlavePath().c_str(),
                                                          IN_OPEN | IN_CLOSE)
                                      : -1;
    if (watch >= 0)
      watches_[watch] = port.get();
    else
      unwatched_.push_back(port.get());
    port->Recheck();
  }
  nextBeat_ = Clock::now();
}

Daemon::~Daemon() {
  connections_.clear();
  for (const auto& listener : listeners_) close(listener.fd);
  if (inotifyFd_ >= 0) close(inotifyFd_);
}

bool Daemon::Run(int stopFd) {
  enum Kind { kStop, kSlaveEvents, kListener, kConnection, kPort };
  std::vector<pollfd> entries;
  std::vector<std::pair<Kind, std::size_t>> owners;
  for (;;) {
    entries.clear();
    owners.clear();
    const auto now = Clock::now();
    auto add = [&](int fd, short events, Kind kind, std::size_t index) {
      entries.push_back({fd, events, 0});
      owners.emplace_back(kind, index);
    };
    add(stopFd, POLLIN, kStop, 0);
    if (inotifyFd_ >= 0) add(inotifyFd_, POLLIN, kSlaveEvents, 0);
    for (std::size_t i = 0; i < listeners_.size(); ++i) add(listeners_[i].fd, POLLIN, kListener, i);
    for (std::size_t i = 0; i < connections_.size(); ++i)
      add(connections_[i]->fd, connections_[i]->out.empty() ? POLLIN : POLLOUT, kConnection, i);
    auto wake = nextBeat_;
    for (std::size_t i = 0; i < ports_.size(); ++i) {
      const short events = ports_[i]->PollEvents(now);
      if (events == PtyPort::kLeaveOut) continue;
      add(ports_[i]->MasterFd(), events, kPort, i);
      wake = std::min(wake, ports_[i]->NextReadTime());
    }
    const int timeout = static_cast<int>(std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count() + 1));

    const int ready = poll(entries.data(), entries.size(), timeout);
    if (ready < 0 && errno != EINTR) return false;

    std::vector<std::size_t> dropped, accepting;
    const auto after = Clock::now();
    if (after >= nextBeat_) Beat(after);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const short revents = entries[i].revents;
      const auto [kind, index] = owners[i];
      if (kind == kPort) {
        // Ports with time on their line go on even without an event.
        ports_[index]->Relay(revents, after);
        continue;
      }
      if (!revents) continue;
      switch (kind) {
        case kStop:
          return true;
        case kSlaveEvents:
          NoticeSlaveEvents();
          break;
        case kListener:
          accepting.push_back(index);
          break;
        case kConnection: {
          Connection& connection = *connections_[index];
          const bool keep = (revents & POLLOUT) ? Send(connection) : Receive(connection);
          if (!keep) dropped.push_back(index);
          break;
        }
        case kPort:
          break;
      }
    }
    // Only now, when no poll entry refers to a connection by position any more.
    for (auto it = dropped.rbegin(); it != dropped.rend(); ++it)
      connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(*it));
    for (std::size_t index : accepting) Accept(listeners_[index]);
  }
}

void Daemon::NoticeSlaveEvents() {
  alignas(inotify_event) char events[4096];
  bool overflowed = false;
  for (;;) {
    const ssize_t got = read(inotifyFd_, events, sizeof events);
    if (got <= 0) break;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event event;
      std::memcpy(&event, events + at, sizeof event);
      at += static_cast<ssize_t>(sizeof event + event.len);
      if (event.mask & IN_Q_OVERFLOW) overflowed = true;
      if (auto watch = watches_.find(event.wd); watch != watches_.end()) watch->second->Recheck();
    }
  }
  // Events were lost: any port may have been opened or closed.
  if (overflowed)
    for (const auto& port : ports_) port->Recheck();
}

void Daemon::Beat(Clock::time_point now) {
  const std::uint64_t nanos = mgmt::status_page::MonotonicNanos();
  for (StatusPageFile* page : pages_) page->Beat(nanos);
  for (const auto& port : ports_)
    if (port->BelievedOpen()) port->RereadSettings();
  for (PtyPort* port : unwatched_) port->Recheck();
  nextBeat_ = now + mgmt::status_page::kBeatPeriod;
}

void Daemon::Accept(Listener& listener) {
  const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    // Out of descriptors: free one, or the listener stays readable for ever.
    // Any other failure (EAGAIN: the client left) costs no one a connection.
    if ((errno == EMFILE || errno == ENFILE) && !connections_.empty())
      connections_.erase(connections_.begin());
    return;
  }
  // Device handles stay open for the life of their process, also after the
  // library is unloaded, so the oldest connection is the likeliest to be dead
  // weight; a live one that loses out reconnects on its next request.
  if (connections_.size() >= kMaxConnections) connections_.erase(connections_.begin());
  auto connection = std::make_unique<Connection>();
  connection->fd = fd;
  connection->listener = &listener;
  connections_.push_back(std::move(connection));
}

bool Daemon::Receive(Connection& connection) {
  // Read only as far as the current request goes: one request at a time.
  std::size_t wanted = frame::kRequestHeaderSize;
  if (connection.in.size() >= frame::kRequestHeaderSize) {
    auto header = frame::DecodeRequestHeader(connection.in.data());
    if (!header) return false;
    wanted += header->inputLength;
  }
  const std::size_t have = connection.in.size();
  if (have < wanted) {
    connection.in.resize(wanted);
    const ssize_t got = recv(connection.fd, connection.in.data() + have, wanted - have, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return false;
    connection.in.resize(have + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
  }
  if (connection.in.size() < frame::kRequestHeaderSize) return true;
  auto header = frame::DecodeRequestHeader(connection.in.data());
  if (!header) return false;
  if (connection.in.size() < frame::kRequestHeaderSize + header->inputLength) return true;
  Answer(connection);
  return Send(connection);  // most replies fit the socket at once
}

void Daemon::Answer(Connection& connection) {
  const auto header = *frame::DecodeRequestHeader(connection.in.data());
  const std::span<const std::uint8_t> input(connection.in.data() + frame::kRequestHeaderSize,
                                            header.inputLength);
  const Listener& listener = *connection.listener;
  const auto answer = AnswerRequest(listener.boards, listener.plan->selects, connection.selection,
                                    header.code, input, header.outputRoom);
  connection.out.resize(frame::kReplyHeaderSize);
  frame::EncodeReplyHeader({answer.done ? frame::kDone : frame::kRefused,
                            static_cast<std::uint32_t>(answer.bytes.size())},
                           connection.out.data());
  connection.out.insert(connection.out.end(), answer.bytes.begin(), answer.bytes.end());
  connection.sent = 0;
  connection.in.clear();
}

bool Daemon::Send(Connection& connection) {
  const ssize_t sent = send(connection.fd, connection.out.data() + connection.sent,
                            connection.out.size() - connection.sent, MSG_NOSIGNAL);
  if (sent < 0) return errno == EAGAIN || errno == EINTR;
  connection.sent += static_cast<std::size_t>(sent);
  if (connection.sent == connection.out.size()) {
    connection.out.clear();
    connection.sent = 0;
  }
  return true;
}

}  // namespace orvalisd
