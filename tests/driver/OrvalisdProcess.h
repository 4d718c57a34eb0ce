// A real orvalisd for a test: started in a fresh host root, waited for until
// it reports ready, and stopped (SIGTERM, then SIGKILL) when the object goes,
// also when the test fails. It dies with the test process too.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace orvalisd::test {

// A temporary folder, removed with everything in it when the object goes.
class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

class OrvalisdProcess {
 public:
  // Runs orvalisd --root root arguments...; started() tells whether it got ready.
  OrvalisdProcess(const std::string& root, const std::vector<std::string>& arguments);
  ~OrvalisdProcess();

  bool Ready() const { return ready_; }
  const std::string& Output() const { return output_; }
  // Sends SIGTERM and waits; the exit status, or -1.
  int Stop();
  // Sends a signal (SIGSTOP, SIGCONT, SIGKILL ...); false when none is running.
  bool Signal(int signal);
  // Waits for an orvalisd that ends by itself; the exit status, or -1.
  int Wait();

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string output_;
};

std::string OrvalisdPath();

}  // namespace orvalisd::test
