// Terminal windows on paced 921600-baud streams under one X server, beside
// cat and the peer terminals GtkTerm and CuteCom on the same streams (run by
// ./peers). Usage: terminal_window_bench HOSTROOT XSERVER_PID [REPS]
//
// Each program gets its own pseudo-terminal fed 92,160 bytes/s in lines of
// 64 bytes, then of 16; runs are interleaved and medians printed. CPU is the
// program's own (all threads) and the X server's during the feed. Latency is
// from a line's scheduled write to the first paint of the view that covers
// it. Eight windows on eight streams: total CPU, the largest received-byte
// queue seen and how far the feeders fell behind their schedule.
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
#include <QPaintEvent>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchPty.h"
#include "app/Main.h"
#include "platform/qt/QtMessagePump.h"
#include "term/TermMDIChild.h"
#include "terminal/view/Terminal.h"

namespace {

constexpr long kBytesPerSecond = 92160;  // 921600 baud, 10 bits a character
constexpr int kSeconds = 4;
constexpr long kIdleIntervalNs = 100'000'000;  // one byte every 100 ms
constexpr int kIdleBytes = 30;
constexpr int kFirstCom = 11;
constexpr int kWindowWidth = 720;
constexpr int kWindowHeight = 480;
const long kTicksPerSecond = sysconf(_SC_CLK_TCK);

long NowNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1'000'000'000L + now.tv_nsec;
}

void SleepUntil(long ns) {
  timespec at{ns / 1'000'000'000L, ns % 1'000'000'000L};
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

// Whether the child has exited, leaving it to be reaped.
bool Exited(pid_t pid, bool wait) {
  siginfo_t info{};
  return waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT | (wait ? 0 : WNOHANG)) == 0 &&
         info.si_pid == pid;
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A child writing to the master on an absolute schedule from startNs: lines
// of lineBytes ("%08d" sequence number, letters, CR LF) at the byte rate, or
// with lineBytes 0 one byte every 100 ms. It reports through a pipe how far
// behind its schedule it fell at worst (ms).
struct Feeder {
  pid_t pid = -1;
  int result = -1;
  long startNs = 0;
  long intervalNs = 0;
};

Feeder StartFeeder(int master, int lineBytes, long startNs) {
  Feeder feeder;
  feeder.startNs = startNs;
  feeder.intervalNs = lineBytes ? 1'000'000'000L * lineBytes / kBytesPerSecond : kIdleIntervalNs;
  int fds[2];
  if (pipe(fds) != 0) return feeder;
  feeder.pid = fork();
  if (feeder.pid != 0) {
    close(fds[1]);
    feeder.result = fds[0];
    return feeder;
  }
  close(fds[0]);
  const long count = lineBytes ? kBytesPerSecond * kSeconds / lineBytes : kIdleBytes;
  std::string line = "x";
  long worstNs = 0;
  for (long seq = 0; seq < count; ++seq) {
    const long due = startNs + seq * feeder.intervalNs;
    SleepUntil(due);
    worstNs = std::max(worstNs, NowNs() - due);
    if (lineBytes) {
      char number[16];
      std::snprintf(number, sizeof number, "%08ld", seq);
      line.assign(number);
      while (int(line.size()) < lineBytes - 2) line += char('A' + line.size() % 26);
      line += "\r\n";
    }
    if (write(master, line.data(), line.size()) < 0) break;
  }
  const double worstMs = worstNs / 1e6;
  (void)!write(fds[1], &worstMs, sizeof worstMs);
  _exit(0);
}

double FinishFeeder(Feeder& feeder) {
  double worstMs = -1;
  waitpid(feeder.pid, nullptr, 0);
  if (read(feeder.result, &worstMs, sizeof worstMs) != sizeof worstMs) worstMs = -1;
  close(feeder.result);
  return worstMs;
}

// utime + stime of a process, all threads, in ms.
double ProcessCpuMs(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return (utime + stime) * 1000.0 / kTicksPerSecond;
}

double SelfCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
         usage.ru_stime.tv_usec / 1e3;
}

void PumpFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Sample {
  double ownMs = -1;
  double xMs = -1;
};

// Watches one view's paints: which line (or byte) each paint first shows.
class PaintWatch : public QObject {
 public:
  PaintWatch(terminal::TAdTerminal& view, const Feeder& feeder, bool idle)
      : view_(view), feeder_(feeder), idle_(idle) {
    view.viewport()->installEventFilter(this);
  }
  std::vector<double> latenciesMs;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    const long now = NowNs();
    const QRegion& region = static_cast<QPaintEvent*>(event)->region();
    const terminal::TAdTerminalBuffer& buffer = view_.ActiveEmulator().Buffer();
    long newest = -1;
    terminal::ScreenRow row = buffer.CursorRow();
    int x = 0;
    if (idle_) {
      newest = buffer.CursorCol().Value() - 2;  // bytes shown on row 1, 0-based
      x = int(newest) * view_.CharWidth();
    } else {
      row = row - 1;  // the last complete line
      const std::uint8_t* chars = buffer.RowChars(row);
      if (!chars ||
          !std::all_of(chars, chars + 8, [](std::uint8_t c) { return c >= '0' && c <= '9'; }))
        return false;
      newest = std::stol(std::string(chars, chars + 8));
    }
    const QRect cell(x, (row - view_.TopRow()) * view_.CharHeight(), view_.CharWidth(),
                     view_.CharHeight());
    if (newest <= shown_ || !region.intersects(cell)) return false;
    for (long seq = shown_ + 1; seq <= newest; ++seq)
      latenciesMs.push_back((now - (feeder_.startNs + seq * feeder_.intervalNs)) / 1e6);
    shown_ = newest;
    return false;
  }

 private:
  terminal::TAdTerminal& view_;
  const Feeder& feeder_;
  bool idle_;
  long shown_ = -1;
};

struct WindowsResult {
  Sample cpu;
  std::vector<double> latenciesMs;
  std::size_t maxQueued = 0;
  double worstLateMs = 0;
  bool opened = false;
};

// `windows` terminal windows of harbex (this process) on their own streams.
WindowsResult RunHarbex(const std::string& hostRoot, pid_t xServer, int windows, int lineBytes) {
  WindowsResult result;
  std::vector<Pty> ptys;
  std::vector<std::string> links;
  for (int i = 0; i < windows; ++i) {
    ptys.push_back(OpenPty());
    links.push_back(hostRoot + "/dosdevices/com" + std::to_string(kFirstCom + i));
    symlink(ptys.back().slave.c_str(), links.back().c_str());
  }
  {
    app::TMainForm form;
    form.resize(1024, 700);
    form.show();
    for (int w = 0; w < windows; ++w) {
      const QString name = QStringLiteral("COM%1").arg(kFirstCom + w);
      for (int i = 0; i < form.NodeCount(); ++i) {
        if (form.NodeItem(i)->text(0) != name) continue;
        form.NodeItem(i)->treeWidget()->setCurrentItem(form.NodeItem(i));
        form.OpenTerminal(name);
      }
    }
    std::vector<term::TTermMDIChildForm*> opened = form.TerminalWindows();
    // Tall enough for the whole screen, so that the newest line is shown.
    for (term::TTermMDIChildForm* w : opened) w->resize(kWindowWidth, kWindowHeight);
    result.opened = int(opened.size()) == windows &&
                    std::all_of(opened.begin(), opened.end(),
                                [](term::TTermMDIChildForm* w) { return w->PortOpened(); });
    if (result.opened) {
      PumpFor(500);
      const long start = NowNs() + 20'000'000;
      std::vector<Feeder> feeders;
      for (const Pty& pty : ptys) feeders.push_back(StartFeeder(pty.master, lineBytes, start));
      std::unique_ptr<PaintWatch> watch;
      if (windows == 1)
        watch = std::make_unique<PaintWatch>(opened.front()->AdTerminal(), feeders.front(),
                                             lineBytes == 0);
      const double ownBefore = SelfCpuMs(), xBefore = ProcessCpuMs(xServer);
      QEventLoop loop;
      QTimer poll;
      QObject::connect(&poll, &QTimer::timeout, [&] {
        for (term::TTermMDIChildForm* w : opened)
          result.maxQueued = std::max(result.maxQueued, w->AdTerminal().QueuedBytes());
        if (Exited(feeders.back().pid, false) || NowNs() > start + (kSeconds + 60) * 1'000'000'000L)
          loop.quit();
      });
      poll.start(20);
      loop.exec();
      PumpFor(100);
      result.cpu = {SelfCpuMs() - ownBefore, ProcessCpuMs(xServer) - xBefore};
      for (Feeder& feeder : feeders)
        result.worstLateMs = std::max(result.worstLateMs, FinishFeeder(feeder));
      if (watch) result.latenciesMs = watch->latenciesMs;
    }
    form.close();
    QCoreApplication::processEvents();
  }
  for (const std::string& link : links) unlink(link.c_str());
  for (const Pty& pty : ptys) close(pty.master);
  return result;
}

// Another program on the slave; `ready` runs once it has started.
Sample RunProgram(pid_t xServer, int lineBytes, const std::vector<std::string>& argv,
                  const std::string& home, const std::string& slave, int master,
                  const std::function<void()>& ready) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("HOME", home.c_str(), 1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    if (argv.front() == "cat") dup2(open(slave.c_str(), O_RDWR | O_NOCTTY), 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  Sample sample;
  usleep(100'000);
  if (argv.front() != "cat") {
    usleep(2'500'000);
    if (ready) ready();
    usleep(700'000);
  }
  // Only a program that holds the slave open is measured.
  bool holds = false;
  const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd/";
  for (int fd = 0; fd < 64 && !holds; ++fd) {
    char target[256];
    const ssize_t n = readlink((fdDir + std::to_string(fd)).c_str(), target, sizeof target - 1);
    holds = n > 0 && std::string(target, std::size_t(n)) == slave;
  }
  if (holds) {
    const long start = NowNs() + 20'000'000;
    Feeder feeder = StartFeeder(master, lineBytes, start);
    const double ownBefore = ProcessCpuMs(pid), xBefore = ProcessCpuMs(xServer);
    Exited(feeder.pid, true);
    usleep(100'000);
    sample = {ProcessCpuMs(pid) - ownBefore, ProcessCpuMs(xServer) - xBefore};
    FinishFeeder(feeder);
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return sample;
}

void WriteCuteComSession(const std::string& home, const std::string& slave) {
  const std::string dir = home + "/.config/CuteCom";
  (void)!system(("mkdir -p '" + dir + "'").c_str());
  std::ofstream conf(dir + "/CuteCom5.conf");
  conf << "[sessions]\n1\\BaudRate=115200\n1\\DataBits=8\n1\\Device=" << slave
       << "\n1\\FlowControl=0\n1\\OpenMode=3\n1\\Parity=0\n1\\StopBits=1\n"
          "1\\autoReconnect=false\n1\\name=Default\nsize=1\n";
}

struct Series {
  std::vector<double> own, x;
  bool Driven() const { return !own.empty(); }
  double Own() const { return Median(own) / (10.0 * kSeconds); }  // % of a core
  double X() const { return Median(x) / (10.0 * kSeconds); }
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  platform::QtMessagePump pump;
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s HOSTROOT XSERVER_PID [REPS]\n", argv[0]);
    return 2;
  }
  const std::string hostRoot = argv[1];
  const pid_t xServer = pid_t(std::atoi(argv[2]));
  const int reps = argc > 3 ? std::atoi(argv[3]) : 5;
  const std::string home = hostRoot + "/home";
  (void)!system(("mkdir -p '" + home + "'").c_str());

  const std::vector<std::string> programs = {"cat", "harbex", "GtkTerm", "CuteCom"};
  const std::vector<int> lineSizes = {64, 16};
  std::map<std::pair<int, std::string>, Series> series;
  std::vector<double> streamLatencies;
  // The first round warms caches and fonts up and is not counted.
  for (int rep = 0; rep <= reps; ++rep) {
    for (int lineBytes : lineSizes) {
      for (const std::string& program : programs) {
        Sample sample;
        if (program == "harbex") {
          WindowsResult run = RunHarbex(hostRoot, xServer, 1, lineBytes);
          if (!run.opened) {
            std::fprintf(stderr, "terminal_window_bench: no terminal window opened\n");
            return 1;
          }
          sample = run.cpu;
          if (rep > 0 && lineBytes == 64)
            streamLatencies.insert(streamLatencies.end(), run.latenciesMs.begin(),
                                   run.latenciesMs.end());
        } else {
          Pty pty = OpenPty();
          std::vector<std::string> args = {"cat"};
          std::function<void()> ready;
          if (program == "GtkTerm")
            args = {"gtkterm", "--disable-port-lock", "--port", pty.slave, "--speed", "115200"};
          if (program == "CuteCom") {
            WriteCuteComSession(home, pty.slave);
            args = {"cutecom"};
            // No option opens the device: its Open button does.
            ready = [] { (void)!system("xdotool mousemove 50 43 click 1"); };
          }
          sample = RunProgram(xServer, lineBytes, args, home, pty.slave, pty.master, ready);
          close(pty.master);
        }
        if (rep == 0 || sample.ownMs < 0) continue;
        Series& s = series[{lineBytes, program}];
        s.own.push_back(sample.ownMs);
        s.x.push_back(program == "cat" ? 0 : sample.xMs);
      }
    }
  }

  std::printf(
      "one window, paced 921600-baud stream (92,160 B/s) for %d s, median of %d "
      "interleaved runs; %% of one core:\n",
      kSeconds, reps);
  for (int lineBytes : lineSizes) {
    const Series& cat = series[{lineBytes, "cat"}];
    const Series& ours = series[{lineBytes, "harbex"}];
    std::printf("  %d-byte lines:", lineBytes);
    for (const std::string& program : programs) {
      const Series& s = series[{lineBytes, program}];
      if (!s.Driven()) {
        std::printf("  %s could not be driven;", program.c_str());
        continue;
      }
      if (program == "cat")
        std::printf("  cat %.1f%%;", s.Own());
      else
        std::printf("  %s %.1f%% + X %.1f%% = %.1f%%;", program.c_str(), s.Own(), s.X(),
                    s.Own() + s.X());
    }
    std::printf("\n    harbex / cat %.1fx", ours.Own() / cat.Own());
    for (const char* peer : {"GtkTerm", "CuteCom"}) {
      const Series& s = series[{lineBytes, peer}];
      if (s.Driven())
        std::printf("; harbex+X / %s+X %.2f", peer, (ours.Own() + ours.X()) / (s.Own() + s.X()));
    }
    std::printf("\n");
  }

  WindowsResult idle = RunHarbex(hostRoot, xServer, 1, 0);
  std::printf(
      "latency from a byte's write to its paint: median %.1f ms at the 64-byte rate "
      "(%zu lines), %.1f ms idle (one byte every 100 ms, %zu bytes)\n",
      Median(streamLatencies), streamLatencies.size(), Median(idle.latenciesMs),
      idle.latenciesMs.size());

  WindowsResult eight = RunHarbex(hostRoot, xServer, 8, 64);
  std::printf(
      "eight windows on eight 64-byte-line streams: harbex %.1f%% + X %.1f%% = %.1f%% "
      "of a core; largest received-byte queue %zu bytes; feeders at worst %.1f ms "
      "behind schedule\n",
      eight.cpu.ownMs / (10.0 * kSeconds), eight.cpu.xMs / (10.0 * kSeconds),
      (eight.cpu.ownMs + eight.cpu.xMs) / (10.0 * kSeconds), eight.maxQueued, eight.worstLateMs);
  return 0;
}
