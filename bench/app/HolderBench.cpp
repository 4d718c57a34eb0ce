// Naming who holds a port (run by ./run): the time to name the holder of a
// pseudo-terminal with this machine's processes and with 500 more sleeping
// beside them, measured alternately; and the main window's GUI-thread time
// per status tick over orvalisd's 4 x 64 board ports while 64 of them are
// taken and released by another process.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/PortFacts.h"
#include "app/QuorMgmt.h"
#include "platform/ComNamespace.h"
#include "platform/Messages.h"
#include "platform/PortHolders.h"
#include "platform/qt/QtMessagePump.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSleepers = 500;
constexpr int kHeldPorts = 64;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// All threads: the lookup shares its scan out over the cores.
double ProcessCpuMs() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double ThreadCpuMs() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Figures {
  double median;
  double max;
};

Figures Summary(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples.back()};
}

// A child named name that runs body and dies with this process.
pid_t Spawn(const char* name, void (*body)()) {
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    prctl(PR_SET_NAME, name);
    body();
    _exit(0);
  }
  return pid;
}

// A sleeping process as a machine has them: its own program, three
// descriptors.
pid_t SpawnSleeper() {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  char program[] = "sleep", seconds[] = "600";
  char* arguments[] = {program, seconds, nullptr};
  pid_t pid = -1;
  posix_spawn(&pid, "/bin/sleep", &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void Reap(const std::vector<pid_t>& pids) {
  for (pid_t pid : pids) kill(pid, SIGKILL);
  for (pid_t pid : pids) waitpid(pid, nullptr, 0);
}

// Opens COM1 ... COM<kHeldPorts> on 'o', closes them on 'c', answers each
// with one byte on the same pipe pair.
int holderCommands = -1;
int holderAnswers = -1;
void HoldPorts() {
  std::vector<int> fds;
  char command;
  while (read(holderCommands, &command, 1) == 1) {
    if (command == 'o') {
      for (int n = 1; n <= kHeldPorts; ++n)
        fds.push_back(open(platform::ResolveComPath(n).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    } else {
      for (int fd : fds) close(fd);
      fds.clear();
    }
    [[maybe_unused]] auto n = write(holderAnswers, "k", 1);
  }
}

std::string heldPath;
void HoldOne() {
  open(heldPath.c_str(), O_RDWR | O_NOCTTY);
  pause();
}

void NameAHolder() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  grantpt(master);
  unlockpt(master);
  const std::string slave = ptsname(master);
  heldPath = slave;
  const pid_t holder = Spawn("minicom", HoldOne);
  while (platform::FindPortHolders({slave}, "").front().empty()) usleep(1000);
  std::vector<double> cpu;
  auto lookUp = [&] {
    const double cpuBefore = ProcessCpuMs();
    const auto before = Clock::now();
    const auto holders = platform::FindPortHolders({slave}, "");
    const double ms = Ms(Clock::now() - before);
    cpu.push_back(ProcessCpuMs() - cpuBefore);
    if (holders.front().empty() || holders.front().front().program != "minicom")
      std::fprintf(stderr, "holder_bench: the holder was not found\n");
    return ms;
  };
  std::vector<double> few, many;
  std::vector<pid_t> sleepers;
  for (int round = 0; round < 11; ++round) {
    const double without = lookUp();
    for (int i = 0; i < kSleepers; ++i) sleepers.push_back(SpawnSleeper());
    usleep(500000);  // every sleeper is asleep in its own program
    const double with = lookUp();
    Reap(sleepers);
    sleepers.clear();
    if (round == 0) continue;  // warm-up
    few.push_back(without);
    many.push_back(with);
  }
  int processes = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc"))
    processes +=
        entry.path().filename().string().find_first_not_of("0123456789") == std::string::npos;
  // cpu alternates: without, with.
  std::vector<double> cpuFew, cpuMany;
  for (std::size_t i = 2; i < cpu.size(); i += 2) {
    cpuFew.push_back(cpu[i]);
    cpuMany.push_back(cpu[i + 1]);
  }
  const Figures a = Summary(few), b = Summary(many);
  const Figures ca = Summary(cpuFew), cb = Summary(cpuMany);
  std::vector<double> ratios;
  for (std::size_t i = 0; i < few.size(); ++i) ratios.push_back(many[i] / few[i]);
  std::printf(
      "naming a pseudo-terminal's holder with %d processes: wall %.2f ms median (max %.2f), CPU "
      "%.2f ms; with %d more sleeping: wall %.2f ms median (max %.2f), CPU %.2f ms (max %.2f); "
      "wall ratio %.1fx (goal: <= 20 ms with 500)\n",
      processes, a.median, a.max, ca.median, kSleepers, b.median, b.max, cb.median, cb.max,
      Summary(ratios).median);
  Reap({holder});
  close(master);
}

void StatusTicks() {
  app::BindManagementLibrary();
  if (!app::MgmtLoaded) {
    std::fprintf(stderr, "holder_bench: the management library did not load\n");
    return;
  }
  app::TMainForm form;
  form.show();
  form.TreeViewStatusTimer().stop();
  int commands[2], answers[2];
  if (pipe(commands) != 0 || pipe(answers) != 0) return;
  holderCommands = commands[0];
  holderAnswers = answers[1];
  const pid_t holder = Spawn("portholder", HoldPorts);
  auto command = [&](char c) {
    char answer;
    if (write(commands[1], &c, 1) != 1 || read(answers[0], &answer, 1) != 1)
      std::fprintf(stderr, "holder_bench: the port holder is gone\n");
  };
  // GUI-thread time of one tick: the requests, the use changes it posts,
  // and the delivery of any holder names found meanwhile; as wall time and
  // as the thread's CPU time, which the driver's and the worker's work on
  // this shared machine do not stretch.
  std::vector<double> ticks, cpu;
  for (int i = 0; i < 61; ++i) {
    if (i % 20 == 5) command('o');
    if (i % 20 == 15) command('c');
    double ms = 0;
    const double cpuBefore = ThreadCpuMs();
    auto before = Clock::now();
    form.RefreshPortStatus();
    platform::ProcessMessages();
    QCoreApplication::processEvents();
    ms += Ms(Clock::now() - before);
    while (form.PortFacts().LookupPending()) {
      usleep(500);  // the worker's time is not the GUI thread's
      before = Clock::now();
      QCoreApplication::processEvents();
      ms += Ms(Clock::now() - before);
    }
    if (i == 0) continue;  // warm-up
    ticks.push_back(ms);
    cpu.push_back(ThreadCpuMs() - cpuBefore);
  }
  int boardPorts = 0;
  for (int i = 0; i < form.NodeCount(); ++i)
    boardPorts += form.NodeData(i).NodeType == app::ntBoardPort;
  const Figures wall = Summary(ticks), thread = Summary(cpu);
  std::printf(
      "GUI-thread time per status tick, %d board ports, %d taken and released by another "
      "process every 5 s: wall median %.2f ms, max %.2f ms; CPU median %.2f ms, max %.2f ms "
      "(goal: median <= 1 ms, max <= 5 ms)\n",
      boardPorts, kHeldPorts, wall.median, wall.max, thread.median, thread.max);
  close(commands[1]);
  Reap({holder});
  form.close();
  QCoreApplication::processEvents();
  app::ReleaseManagementLibrary();
}

}  // namespace

int main(int argc, char* argv[]) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  QApplication application(argc, argv);
  platform::QtMessagePump pump;
  NameAHolder();
  StatusTicks();
  return 0;
}
