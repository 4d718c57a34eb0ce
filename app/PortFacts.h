// TPortFacts: what the main window knows of its ports beyond the node
// records: the device each port is, and who else holds it.
//
// A port's device is described when the port is added. Holders are looked
// up on a worker thread of this object's own, only for the ports asked
// about, and handed to OnHoldersFound on the GUI thread; ports asked about
// while a lookup runs join the next one, which scans /proc once for all of
// them. GUI thread (the worker touches nothing but its queue).
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/NodeData.h"
#include "platform/PortHolders.h"

namespace app {

class TPortFacts : public QObject {
  Q_OBJECT

 public:
  TPortFacts();
  // Waits for a lookup under way.
  ~TPortFacts() override;

  // Forgets every port; what a lookup under way finds is dropped.
  void Clear();
  // The port of a node, COM n (0: a port without a device).
  void AddPort(int nodeIndex, std::int32_t comNumber);
  void LookUpHolders(int nodeIndex);
  void LookUpAllHolders();
  // The port is free or ours now: no holders until the next lookup.
  void ForgetHolders(int nodeIndex);

  // The device as the panel shows it.
  QString DeviceText(int nodeIndex) const;
  // The line of the port's panel that names its holders, once a lookup came
  // back: the holders it found, "a program of another user" when another
  // program holds the port and none was found; empty for a port of ours.
  QString HolderText(int nodeIndex, const TNodeData& node) const;
  // The device, and "In use by ..." when HolderText names someone.
  QString ToolTip(int nodeIndex, const TNodeData& node) const;
  bool LookupPending() const { return delivered_ < requested_; }

  // A lookup of the node's holders came back.
  std::function<void(int nodeIndex)> OnHoldersFound;

 private:
  struct Port {
    std::string devicePath;
    QString deviceText;
    std::optional<std::vector<platform::PortHolder>> holders;
  };
  using Found = std::map<int, std::vector<platform::PortHolder>>;

  void Request(const std::map<int, std::string>& ports);
  void Flush();
  void WorkerLoop();
  void Deliver(unsigned generation, std::uint64_t upTo, const Found& found);

  std::map<int, Port> ports_;
  unsigned generation_ = 0;
  std::uint64_t requested_ = 0;  // requests made and answered, GUI thread
  std::uint64_t delivered_ = 0;
  std::map<int, std::string> asked_;  // not yet handed to the worker
  bool flushScheduled_ = false;

  std::mutex queueLock_;  // guards the queue below
  std::condition_variable queueWake_;
  std::map<int, std::string> queued_;
  unsigned queuedGeneration_ = 0;
  std::uint64_t queuedUpTo_ = 0;
  bool stopping_ = false;
  std::thread worker_;  // last: started when everything it uses exists
};

}  // namespace app
