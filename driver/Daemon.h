// orvalisd's one thread: answers the driver sockets, relays the ports, keeps
// the status pages current (a port's records when it changes, the heartbeat
// every kBeatPeriod) and stops on the signal descriptor. Every frame is
// checked before it is trusted; a connection that sends a bad one is dropped.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "driver/DriverRequests.h"
#include "driver/PtyPort.h"
#include "driver/Publication.h"
#include "driver/StatusPageFile.h"

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
  // ports: every board's ports in board order; listeners and pages: one per
  // socket plan (the pages outlive the daemon and are named after it is made,
  // when the ports have filled their slots).
  Daemon(const Plan& plan, std::vector<std::unique_ptr<PtyPort>> ports,
         std::vector<int> listenerFds, std::vector<StatusPageFile*> pages);
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
  // The pages' heartbeat; the settings of open ports, which no event
  // announces; a full look at ports whose slave has no watch.
  void Beat(Clock::time_point now);

  const Plan& plan_;
  std::vector<std::unique_ptr<PtyPort>> ports_;
  std::vector<DriverBoard> boards_;
  std::vector<Listener> listeners_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<StatusPageFile*> pages_;
  int inotifyFd_ = -1;
  std::map<int, PtyPort*> watches_;  // inotify watch -> its port
  std::vector<PtyPort*> unwatched_;  // no watch could be set: looked at every beat
  Clock::time_point nextBeat_;
};

}  // namespace orvalisd
