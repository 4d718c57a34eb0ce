#include "app/PortFacts.h"

#include <QTimer>
#include <utility>

#include "gui/Guard.h"
#include "gui/PortText.h"
#include "platform/ComNamespace_posix.h"
#include "platform/SerialDeviceInfo.h"

namespace app {

TPortFacts::TPortFacts() : worker_([this] { WorkerLoop(); }) {}

TPortFacts::~TPortFacts() {
  {
    std::lock_guard guard(queueLock_);
    stopping_ = true;
  }
  queueWake_.notify_one();
  worker_.join();
}

void TPortFacts::Clear() {
  ports_.clear();
  asked_.clear();
  ++generation_;
  std::lock_guard guard(queueLock_);
  queued_.clear();
}

void TPortFacts::AddPort(int nodeIndex, std::int32_t comNumber) {
  Port& port = ports_[nodeIndex];
  port.devicePath = platform::ResolveComPath(comNumber);
  if (!port.devicePath.empty())
    port.deviceText =
        gui::DeviceText(platform::DescribeSerialDevice(port.devicePath, platform::SystemRoot()));
}

void TPortFacts::LookUpHolders(int nodeIndex) {
  auto port = ports_.find(nodeIndex);
  if (port != ports_.end()) Request({{nodeIndex, port->second.devicePath}});
}

void TPortFacts::LookUpAllHolders() {
  std::map<int, std::string> all;
  for (const auto& [index, port] : ports_) all[index] = port.devicePath;
  if (!all.empty()) Request(all);
}

void TPortFacts::ForgetHolders(int nodeIndex) {
  if (auto port = ports_.find(nodeIndex); port != ports_.end()) port->second.holders.reset();
}

// The ports asked about while messages are handled go to the worker
// together, once the GUI thread is done with them.
void TPortFacts::Request(const std::map<int, std::string>& ports) {
  for (const auto& [index, path] : ports) asked_[index] = path;
  ++requested_;
  if (!std::exchange(flushScheduled_, true))
    QTimer::singleShot(0, this, gui::Guarded([this] { Flush(); }));
}

void TPortFacts::Flush() {
  flushScheduled_ = false;
  {
    std::lock_guard guard(queueLock_);
    for (auto& [index, path] : asked_) queued_[index] = std::move(path);
    queuedGeneration_ = generation_;
    queuedUpTo_ = requested_;
  }
  asked_.clear();
  queueWake_.notify_one();
}

void TPortFacts::WorkerLoop() {
  std::unique_lock guard(queueLock_);
  for (;;) {
    queueWake_.wait(guard, [this] { return stopping_ || !queued_.empty(); });
    if (stopping_) return;
    const std::map<int, std::string> ports = std::move(queued_);
    queued_.clear();
    const unsigned generation = queuedGeneration_;
    const std::uint64_t upTo = queuedUpTo_;
    guard.unlock();
    Found found;
    try {
      std::vector<std::string> paths;
      for (const auto& [index, path] : ports) paths.push_back(path);
      auto holders = platform::FindPortHolders(paths, platform::SystemRoot());
      auto next = holders.begin();
      for (const auto& [index, path] : ports) found[index] = std::move(*next++);
    } catch (...) {
      found.clear();  // out of memory: the ports stay as they were
    }
    QMetaObject::invokeMethod(
        this, gui::Guarded([this, generation, upTo, found] { Deliver(generation, upTo, found); }),
        Qt::QueuedConnection);
    guard.lock();
  }
}

void TPortFacts::Deliver(unsigned generation, std::uint64_t upTo, const Found& found) {
  delivered_ = std::max(delivered_, upTo);
  if (generation != generation_) return;
  for (const auto& [index, holders] : found) {
    auto port = ports_.find(index);
    if (port == ports_.end()) continue;
    port->second.holders = holders;
    if (OnHoldersFound) OnHoldersFound(index);
  }
}

QString TPortFacts::DeviceText(int nodeIndex) const {
  auto port = ports_.find(nodeIndex);
  return port == ports_.end() ? QString() : port->second.deviceText;
}

QString TPortFacts::HolderText(int nodeIndex, const TNodeData& node) const {
  auto port = ports_.find(nodeIndex);
  if (port == ports_.end() || node.InUseByUs || !port->second.holders) return {};
  const auto& holders = *port->second.holders;
  if (!holders.empty()) return gui::HolderText(holders);
  return node.InUseByOther ? gui::HolderText({}) : QString();
}

QString TPortFacts::ToolTip(int nodeIndex, const TNodeData& node) const {
  auto port = ports_.find(nodeIndex);
  if (port == ports_.end()) return {};
  const QString holders = HolderText(nodeIndex, node);
  QStringList lines;
  if (!port->second.deviceText.isEmpty()) lines << port->second.deviceText;
  if (!holders.isEmpty()) lines << gui::InUseByText(holders);
  return lines.join('\n');
}

}  // namespace app
