// harbex's main window over orvalisd with many board ports (run by ./run):
// start-up to the first painted window, GUI-thread time per status tick, and
// resident memory with terminal windows open; with "stream", the CPU of a
// terminal window on a paced stream against cat.
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "StreamBench.h"
#include "app/Main.h"
#include "app/QuorMgmt.h"
#include "platform/Messages.h"
#include "platform/qt/QtMessagePump.h"
#include "term/TermMDIChild.h"

namespace {

using Clock = std::chrono::steady_clock;

class FirstPaint : public QObject {
 public:
  bool painted = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

long ResidentKiB() {
  QFile status("/proc/self/status");
  status.open(QIODevice::ReadOnly);
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  const auto started = Clock::now();
  QApplication application(argc, argv);
  platform::QtMessagePump pump;
  // "stream HOSTROOT": the terminal window's CPU on a paced stream.
  if (argc == 3 && std::string(argv[1]) == "stream") return RunStreamBench(argv[2]);
  app::BindManagementLibrary();
  if (!app::MgmtLoaded) {
    std::fprintf(stderr, "app_bench: the management library did not load\n");
    return 1;
  }
  app::TMainForm form;
  FirstPaint firstPaint;
  form.installEventFilter(&firstPaint);
  form.show();
  while (!firstPaint.painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const auto painted = Clock::now();
  int boardPorts = 0;
  for (int i = 0; i < form.NodeCount(); ++i)
    boardPorts += form.NodeData(i).NodeType == app::ntBoardPort;
  std::printf(
      "start-up to the first painted main window (%d board ports, COM1-256 probed): %.1f ms\n",
      boardPorts, Ms(painted - started));

  form.TreeViewStatusTimer().stop();
  std::vector<double> ticks;
  for (int i = 0; i < 41; ++i) {
    const auto before = Clock::now();
    form.RefreshPortStatus();
    ticks.push_back(Ms(Clock::now() - before));
    platform::ProcessMessages();
  }
  ticks.erase(ticks.begin());  // warm-up
  std::sort(ticks.begin(), ticks.end());
  std::printf("GUI-thread time per status tick (%d x 2 requests): median %.2f ms, max %.2f ms\n",
              boardPorts, ticks[ticks.size() / 2], ticks.back());

  const long before = ResidentKiB();
  int opened = 0;
  for (int i = 0; i < form.NodeCount() && opened < 8; ++i) {
    if (form.NodeData(i).NodeType != app::ntBoardPort) continue;
    form.NodeItem(i)->treeWidget()->setCurrentItem(form.NodeItem(i));
    form.OpenTerminal(form.NodeItem(i)->text(0));
    ++opened;
  }
  QEventLoop settle;
  QTimer::singleShot(1000, &settle, &QEventLoop::quit);
  settle.exec();
  std::printf("resident memory: %ld KiB with the tree, %ld KiB with %d terminal windows open\n",
              before, ResidentKiB(), opened);
  form.close();
  QCoreApplication::processEvents();
  app::ReleaseManagementLibrary();
  return 0;
}
