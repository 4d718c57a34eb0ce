// CPU time per thread of the test process, for tests that check that no
// thread spins while it waits. Per thread, so that the threads a sanitizer
// adds, and the work it slows, do not count against an idle wait.
#pragma once

#include <cstdint>
#include <map>

namespace serial::testing_support {

class ThreadCpuSample {
 public:
  ThreadCpuSample() : seconds_(Take()) {}
  // The most CPU any one thread used since the sample, in seconds; a thread
  // begun since counts from its start.
  double BusiestThreadSince() const {
    double busiest = 0;
    for (const auto& [thread, now] : Take()) {
      const auto before = seconds_.find(thread);
      const double used = now - (before == seconds_.end() ? 0 : before->second);
      busiest = used > busiest ? used : busiest;
    }
    return busiest;
  }

 private:
  // User and system CPU of every thread of this process, by thread id.
  static std::map<std::uint64_t, double> Take();
  std::map<std::uint64_t, double> seconds_;
};

}  // namespace serial::testing_support
