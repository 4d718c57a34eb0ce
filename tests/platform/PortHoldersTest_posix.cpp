// Holders of real pseudo-terminals held by real child processes, seen by
// this process and, when it runs as root, by a looker of another user; and
// the bad input a fake /proc can hold.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "PortHolderProcess.h"
#include "platform/PortHolders.h"

using namespace platform;
namespace fs = std::filesystem;
using orvalisd::test::PortHolderProcess;

namespace {

constexpr uid_t kNobody = 65534;

class Pty {
 public:
  Pty() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    grantpt(master_);
    unlockpt(master_);
    path_ = ptsname(master_);
  }
  ~Pty() { close(master_); }
  const std::string& Path() const { return path_; }

 private:
  int master_;
  std::string path_;
};

enum class Hold { kDescriptor, kDescriptorAndLock, kLockHandedOn };

// A child named "holder" that holds the pty; kLockHandedOn: it locks, hands
// the open description to a grandchild named "keeper" and closes its own, so
// the lock names it while only the keeper has the device open.
std::unique_ptr<PortHolderProcess> HoldPty(const std::string& path, Hold hold) {
  return std::make_unique<PortHolderProcess>([=] {
    prctl(PR_SET_NAME, "holder");
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || (hold != Hold::kDescriptor && flock(fd, LOCK_EX | LOCK_NB) != 0)) return false;
    if (hold == Hold::kLockHandedOn) {
      int ready[2];
      if (pipe(ready) != 0) return false;
      if (fork() == 0) {
        prctl(PR_SET_NAME, "keeper");
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // goes with the holder
        close(ready[0]);
        close(ready[1]);
        pause();
        _exit(0);
      }
      close(ready[1]);
      char byte;
      [[maybe_unused]] auto n = read(ready[0], &byte, 1);  // the keeper has its copy now
      close(fd);
    }
    return true;
  });
}

// What a looker sees, one line per holder: "program byDescriptor byLock user".
std::string Seen(const std::vector<PortHolder>& holders) {
  std::ostringstream text;
  for (const PortHolder& holder : holders)
    text << holder.program << ' ' << holder.byDescriptor << ' ' << holder.byLock << ' '
         << holder.user << ';';
  return text.str();
}

// The holders as a looker of another uid sees them, looked up in a child
// that drops to that uid.
std::string SeenAs(uid_t uid, const std::string& path) {
  int result[2];
  if (pipe(result) != 0) return "pipe failed";
  const pid_t looker = fork();
  if (looker == 0) {
    close(result[0]);
    if (setuid(uid) != 0) _exit(1);
    const std::string seen = Seen(FindPortHolders({path}, "").front());
    [[maybe_unused]] auto n = write(result[1], seen.data(), seen.size());
    _exit(0);
  }
  close(result[1]);
  std::string seen;
  char buffer[512];
  ssize_t got;
  while ((got = read(result[0], buffer, sizeof buffer)) > 0) seen.append(buffer, std::size_t(got));
  close(result[0]);
  waitpid(looker, nullptr, 0);
  return seen;
}

struct HolderCase {
  const char* name;
  Hold hold;
  bool asNobody;     // looked up as another user than the holder's
  const char* seen;  // what Seen() gives
};

class PortHolders : public testing::TestWithParam<HolderCase> {};

TEST_P(PortHolders, AreNamedAsFarAsTheLookerMayRead) {
  const HolderCase& c = GetParam();
  if (c.asNobody && geteuid() != 0) GTEST_SKIP() << "needs root to look as another user";
  Pty pty;
  auto holder = HoldPty(pty.Path(), c.hold);
  ASSERT_TRUE(holder->Held());
  const std::string seen =
      c.asNobody ? SeenAs(kNobody, pty.Path()) : Seen(FindPortHolders({pty.Path()}, "").front());
  const std::string owner = getpwuid(geteuid())->pw_name;
  std::string expected = c.seen;
  for (std::size_t at; (at = expected.find("$user")) != std::string::npos;)
    expected.replace(at, 5, owner);
  EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Platform, PortHolders,
    testing::Values(
        HolderCase{"Descriptor", Hold::kDescriptor, false, "holder 1 0 $user;"},
        HolderCase{"DescriptorAndLock", Hold::kDescriptorAndLock, false, "holder 1 1 $user;"},
        HolderCase{"LockHandedOn", Hold::kLockHandedOn, false,
                   "holder 0 1 $user;keeper 1 0 $user;"},
        HolderCase{"OtherUserSeesNoDescriptor", Hold::kDescriptor, true, ""},
        HolderCase{"OtherUserSeesTheLock", Hold::kDescriptorAndLock, true, "holder 0 1 $user;"}),
    [](const auto& info) { return info.param.name; });

// A fake /proc: an fd folder that is no folder, a process without one (gone
// mid-scan), one whose descriptor leads to the pty, locks with garbage lines,
// a waiter and a lock on the pty's node by a pid outside our view; and
// paths that lead nowhere.
TEST(PortHolderLookup, ReadsWhatAFakeProcHoldsAndPassesOverTheRest) {
  Pty pty;
  const fs::path root = fs::temp_directory_path() / ("quor-proc-" + std::to_string(getpid()));
  fs::create_directories(root / "proc/101");
  std::ofstream(root / "proc/101/fd") << "not a folder";
  fs::create_directories(root / "proc/102");
  fs::create_directories(root / "proc/103/fd");
  fs::create_symlink(pty.Path(), root / "proc/103/fd/4");
  fs::create_symlink("/nonexistent", root / "proc/103/fd/5");
  std::ofstream(root / "proc/103/comm") << "fakeprog\n";
  struct stat node;
  ASSERT_EQ(stat(pty.Path().c_str(), &node), 0);
  char key[64];
  snprintf(key, sizeof key, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
           static_cast<unsigned long>(node.st_ino));
  std::ofstream(root / "proc/locks") << "garbage\n1: FLOCK ADVISORY WRITE\n"
                                     << "2: FLOCK ADVISORY WRITE 0 " << key << " 0 EOF\n"
                                     << "2: -> FLOCK ADVISORY WRITE 104 " << key << " 0 EOF\n"
                                     << "3: POSIX ADVISORY WRITE 105 zz:zz:1 0 EOF\n";

  const auto holders = FindPortHolders({pty.Path(), "", "/nonexistent/tty"}, root.string());
  ASSERT_EQ(holders.size(), 3u);
  ASSERT_EQ(holders[0].size(), 2u);
  EXPECT_EQ(holders[0][0].pid, 0);  // the lock whose holder we cannot see
  EXPECT_TRUE(holders[0][0].byLock);
  EXPECT_TRUE(holders[0][0].program.empty());
  EXPECT_EQ(holders[0][1].pid, 103);
  EXPECT_EQ(holders[0][1].program, "fakeprog");
  EXPECT_TRUE(holders[0][1].byDescriptor);
  EXPECT_TRUE(holders[1].empty());
  EXPECT_TRUE(holders[2].empty());
  fs::remove_all(root);
}

}  // namespace
