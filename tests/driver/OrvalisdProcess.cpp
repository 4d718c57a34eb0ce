#include "OrvalisdProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "platform/Modules.h"

namespace orvalisd::test {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);

int WaitWithTimeout(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) return -2;
    usleep(5000);
  }
}

}  // namespace

std::string OrvalisdPath() {
  return (std::filesystem::path(platform::ProgramFilePath()).parent_path() / "orvalisd").string();
}

TempRoot::TempRoot() {
  // Short and in /tmp: socket paths must fit a unix socket address.
  char pattern[] = "/tmp/qor-XXXXXX";
  if (mkdtemp(pattern)) path_ = pattern;
}

TempRoot::~TempRoot() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

OrvalisdProcess::OrvalisdProcess(const std::string& root,
                                 const std::vector<std::string>& arguments) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
  std::vector<std::string> words = {OrvalisdPath(), "--root", root};
  words.insert(words.end(), arguments.begin(), arguments.end());
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(pipeFds[1], STDOUT_FILENO);
    dup2(pipeFds[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (pid_ > 0 && output_.find("orvalisd: ready") == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd entry{pipeFds[0], POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[1024];
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    output_.append(buffer, static_cast<std::size_t>(got));
  }
  ready_ = output_.find("orvalisd: ready") != std::string::npos;
  close(pipeFds[0]);
}

OrvalisdProcess::~OrvalisdProcess() {
  Stop();
}

int OrvalisdProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  kill(pid_, SIGCONT);  // a stopped one must be able to end
  int status = WaitWithTimeout(pid_, std::chrono::seconds(5));
  if (status == -2) {
    kill(pid_, SIGKILL);
    status = WaitWithTimeout(pid_, std::chrono::seconds(5));
  }
  pid_ = -1;
  return status;
}

bool OrvalisdProcess::Signal(int signal) {
  return pid_ > 0 && kill(pid_, signal) == 0;
}

int OrvalisdProcess::Wait() {
  if (pid_ <= 0) return -1;
  const int status = WaitWithTimeout(pid_, std::chrono::seconds(10));
  if (status != -2) pid_ = -1;
  return status;
}

}  // namespace orvalisd::test
