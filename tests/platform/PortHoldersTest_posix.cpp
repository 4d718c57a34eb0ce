// Holders of a real pseudo-terminal held by real child processes, seen by
// this process and, when it runs as root, by a looker of another user; and
// the bad input a fake /proc can hold.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "PortHolderProcess.h"
#include "platform/PortHolders.h"
#include "tests/support/PtyPort.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// "program byDescriptor byLock user;" per holder.
std::string Seen(const std::vector<PortHolder>& holders) {
  std::string text;
  for (const PortHolder& h : holders)
    text += h.program + ' ' + char('0' + h.byDescriptor) + ' ' + char('0' + h.byLock) + ' ' +
            h.user + ';';
  return text;
}

// The holders as seen from a child that drops to uid first (0: as we are).
std::string SeenAs(uid_t uid, const std::string& path) {
  int result[2];
  if (pipe(result) != 0) return "pipe failed";
  if (fork() == 0) {
    if (uid != 0 && setuid(uid) != 0) _exit(1);
    const std::string seen = Seen(FindPortHolders({path}, "").front());
    _exit(write(result[1], seen.data(), seen.size()) < 0);
  }
  close(result[1]);
  std::string seen;
  char buffer[512];
  for (ssize_t got; (got = read(result[0], buffer, sizeof buffer)) > 0;)
    seen.append(buffer, std::size_t(got));
  close(result[0]);
  wait(nullptr);
  return seen;
}

struct HolderCase {
  const char* name;
  bool lock;
  bool handOn;  // the locker hands its open description to a "keeper" and closes its own
  uid_t looker;
  const char* seen;  // $user: ours
};

class PortHolders : public testing::TestWithParam<HolderCase> {};

TEST_P(PortHolders, AreNamedAsFarAsTheLookerMayRead) {
  const HolderCase& c = GetParam();
  if (c.looker != 0 && geteuid() != 0) GTEST_SKIP() << "needs root to look as another user";
  support::ScopedHostRoot root;
  support::PtyPort pty(root, 250);
  const std::string path = pty.SlavePath();
  orvalisd::test::PortHolderProcess holder([&] {
    prctl(PR_SET_NAME, "holder");
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || (c.lock && flock(fd, LOCK_EX | LOCK_NB) != 0)) return false;
    if (!c.handOn) return true;
    int named[2];
    if (pipe(named) != 0) return false;
    if (fork() == 0) {
      prctl(PR_SET_NAME, "keeper");
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(named[1]);  // with the holder's copy closed too, the holder reads the end
      pause();
    }
    close(named[1]);
    char byte;
    return read(named[0], &byte, 1) == 0 && close(fd) == 0;
  });
  ASSERT_TRUE(holder.Held());
  std::string expected = c.seen;
  for (std::size_t at; (at = expected.find("$user")) != std::string::npos;)
    expected.replace(at, 5, getpwuid(geteuid())->pw_name);
  EXPECT_EQ(SeenAs(c.looker, path), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Platform, PortHolders,
    testing::Values(HolderCase{"DescriptorAndLock", true, false, 0, "holder 1 1 $user;"},
                    HolderCase{"LockHandedOn", true, true, 0, "holder 0 1 $user;keeper 1 0 $user;"},
                    HolderCase{"OtherUserSeesNoDescriptor", false, false, 65534, ""},
                    HolderCase{"OtherUserSeesTheLock", true, false, 65534, "holder 0 1 $user;"}),
    [](const auto& info) { return info.param.name; });

// A fake /proc: an entry that is no folder, a process without fd/ (gone
// mid-scan), one whose descriptors lead to the pty and nowhere; locks with
// garbage, a waiter and a lock by a pid outside our view; and device paths
// that lead nowhere.
TEST(PortHolderLookup, ReadsWhatAFakeProcHoldsAndPassesOverTheRest) {
  support::ScopedHostRoot root;
  support::PtyPort pty(root, 250);
  const fs::path proc = fs::path(root.Path()) / "proc";
  fs::create_directories(proc / "102");
  fs::create_directories(proc / "103/fd");
  std::ofstream(proc / "101") << "";
  fs::create_symlink(pty.SlavePath(), proc / "103/fd/4");
  fs::create_symlink("/nonexistent", proc / "103/fd/5");
  std::ofstream(proc / "103/comm") << "fakeprog\n";
  struct stat node;
  ASSERT_EQ(stat(pty.SlavePath().c_str(), &node), 0);
  char key[64];
  std::snprintf(key, sizeof key, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                static_cast<unsigned long>(node.st_ino));
  std::ofstream(proc / "locks") << "garbage\n1: FLOCK ADVISORY WRITE\n2: FLOCK ADVISORY WRITE 0 "
                                << key << " 0 EOF\n2: -> FLOCK ADVISORY WRITE 104 " << key
                                << " 0 EOF\n3: POSIX ADVISORY WRITE 105 zz:zz:1 0 EOF\n";
  const auto holders = FindPortHolders({pty.SlavePath(), "", "/nonexistent/tty"}, root.Path());
  ASSERT_EQ(holders.size(), 3u);
  EXPECT_EQ(Seen(holders[0]),
            std::string(" 0 1 ;fakeprog 1 0 ") + getpwuid(geteuid())->pw_name + ";");
  EXPECT_EQ(holders[0][0].pid, 0) << "the lock whose holder is outside our view";
  EXPECT_TRUE(holders[1].empty() && holders[2].empty());
}

// Enough processes for the scan to be shared out over threads: every holder
// is found once, whichever share it fell in.
TEST(PortHolderLookup, FindsEveryHolderAmongManyProcesses) {
  support::ScopedHostRoot root;
  support::PtyPort pty(root, 250);
  const fs::path proc = fs::path(root.Path()) / "proc";
  std::vector<int> expected;
  for (int pid = 1000; pid < 1400; ++pid) {
    fs::create_directories(proc / std::to_string(pid) / "fd");
    const bool holds = pid % 97 == 0;
    fs::create_symlink(holds ? pty.SlavePath() : "/dev/null", proc / std::to_string(pid) / "fd/3");
    if (holds) expected.push_back(pid);
  }
  const auto holders = FindPortHolders({pty.SlavePath()}, root.Path());
  std::vector<int> found;
  for (const PortHolder& h : holders.front()) found.push_back(h.pid);
  EXPECT_EQ(found, expected);
}

}  // namespace
