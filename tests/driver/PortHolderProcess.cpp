#include "PortHolderProcess.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvalisd::test {

PortHolderProcess::PortHolderProcess(const std::function<bool()>& take) {
  int ready[2], release[2];
  if (pipe(ready) != 0 || pipe(release) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(ready[0]);
    close(release[1]);
    if (write(ready[1], take() ? "k" : "x", 1) != 1) _exit(2);
    char byte;
    while (read(release[0], &byte, 1) > 0) {
    }
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  releaseFd_ = release[1];
  char answer = 0;
  pollfd entry{ready[0], POLLIN, 0};
  if (poll(&entry, 1, 5000) == 1 && read(ready[0], &answer, 1) == 1) held_ = answer == 'k';
  close(ready[0]);
}

void PortHolderProcess::Release() {
  if (pid_ <= 0) return;
  close(releaseFd_);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace orvalisd::test
