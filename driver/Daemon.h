// orvalisd's one thread: answers the driver sockets, relays the ports and
// stops on the signal descriptor. Every frame is checked before it is
// trusted; a connection that sends a bad one is dropped.
#pragma once

#include <memory>
#include <vector>

#include "driver/DriverRequests.h"
#include "driver/PtyPort.h"
#include "driver/Publication.h"

namespace orvalisd {

// Past this many connections the oldest is dropped for the newest.
constexpr std::size_t kMaxConnections = 256;

struct Listener {
  int fd = -1;
  const SocketPlan* plan = nullptr;
  std::vector<const DriverBoard*> boards;
};

class Daemon {
 public:
  // ports: every board's ports in board order; listeners: one per socket plan.
  Daemon(const Plan& plan, std::vector<std::unique_ptr<PtyPort>> ports,
         std::vector<int> listenerFds);
  ~Daemon();
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  // Runs until stopFd becomes readable (a signalfd); false on a fatal error.
  bool Run(int stopFd);

 private:
  struct Connection;

  void Accept(Listener& listener);
  // False when the connection must be dropped.
  bool Receive(Connection& connection);
  bool Send(Connection& connection);
  void Answer(Connection& connection);
  void NoticeSlaveEvents();

  const Plan& plan_;
  std::vector<std::unique_ptr<PtyPort>> ports_;
  std::vector<DriverBoard> boards_;
  std::vector<Listener> listeners_;
  std::vector<std::unique_ptr<Connection>> connections_;
  int inotifyFd_ = -1;
};

}  // namespace orvalisd
