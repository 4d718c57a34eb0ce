// CPU of one terminal window receiving a paced 921600-baud stream, beside
// cat reading the same stream from a pseudo-terminal (run by ./run).
#include "StreamBench.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <string>

#include "BenchPty.h"
#include "app/Main.h"
#include "term/TermMDIChild.h"

namespace {

constexpr int kBytesPerSecond = 92160;  // 921600 baud, 10 bits a character
constexpr int kChunk = 64;
constexpr int kSeconds = 5;

// A child that writes the paced stream to the master for kSeconds.
pid_t StartWriter(int master) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  char chunk[kChunk];
  for (int i = 0; i < kChunk; ++i) chunk[i] = char('A' + i % 26);
  chunk[kChunk - 1] = '\n';
  timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  const long interval = 1000000000L * kChunk / kBytesPerSecond;
  for (long sent = 0; sent < long(kBytesPerSecond) * kSeconds; sent += kChunk) {
    if (write(master, chunk, kChunk) < 0) break;
    next.tv_nsec += interval;
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
  _exit(0);
}

double CpuMs(const rusage& usage) {
  return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
         usage.ru_stime.tv_usec / 1e3;
}

double CatCpuMs() {
  Pty pty = OpenPty();
  const int slave = open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
  termios raw;
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  const pid_t cat = fork();
  if (cat == 0) {
    dup2(slave, 0);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execlp("cat", "cat", nullptr);
    _exit(127);
  }
  close(slave);
  const pid_t writer = StartWriter(pty.master);
  waitpid(writer, nullptr, 0);
  usleep(100000);
  kill(cat, SIGTERM);
  rusage usage{};
  wait4(cat, nullptr, 0, &usage);
  close(pty.master);
  return CpuMs(usage);
}

double TerminalWindowCpuMs(const std::string& hostRoot) {
  Pty pty = OpenPty();
  const std::string link = hostRoot + "/dosdevices/com9";
  symlink(pty.slave.c_str(), link.c_str());
  double cpu = -1;
  {
    app::TMainForm form;
    form.show();
    for (int i = 0; i < form.NodeCount(); ++i) {
      if (form.NodeItem(i)->text(0) != "COM9") continue;
      form.NodeItem(i)->treeWidget()->setCurrentItem(form.NodeItem(i));
      form.OpenTerminal("COM9");
    }
    if (form.TerminalWindows().size() == 1 && form.TerminalWindows().front()->PortOpened()) {
      QCoreApplication::processEvents();
      rusage before{}, after{};
      getrusage(RUSAGE_SELF, &before);
      const pid_t writer = StartWriter(pty.master);
      // The program's own event loop runs meanwhile, as it does for a user.
      QEventLoop loop;
      QTimer poll;
      QObject::connect(&poll, &QTimer::timeout, [&] {
        if (waitpid(writer, nullptr, WNOHANG) != 0) loop.quit();
      });
      poll.start(50);
      loop.exec();
      QTimer::singleShot(100, &loop, &QEventLoop::quit);
      loop.exec();
      getrusage(RUSAGE_SELF, &after);
      cpu = CpuMs(after) - CpuMs(before);
    }
    form.close();
    QCoreApplication::processEvents();
  }
  unlink(link.c_str());
  close(pty.master);
  return cpu;
}

}  // namespace

int RunStreamBench(const std::string& hostRoot) {
  const double ours = TerminalWindowCpuMs(hostRoot);
  if (ours < 0) {
    std::fprintf(stderr, "app_bench: no terminal window on the benchmark's port\n");
    return 1;
  }
  const double cat = CatCpuMs();
  std::printf(
      "paced 921600-baud stream for %d s: terminal window %.0f ms CPU (%.1f%% of a core), "
      "cat %.0f ms (%.1f%%); ratio %.2f\n",
      kSeconds, ours, ours / (10.0 * kSeconds), cat, cat / (10.0 * kSeconds), ours / cat);
  return 0;
}
