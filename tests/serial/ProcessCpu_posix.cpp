#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/serial/ProcessCpu.h"

namespace serial::testing_support {

std::map<std::uint64_t, double> ThreadCpuSample::Take() {
  std::map<std::uint64_t, double> seconds;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return seconds;
  while (const dirent* task = readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    std::ifstream file(std::string("/proc/self/task/") + task->d_name + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // After the name in parentheses: state and ten more fields, then utime
    // and stime in clock ticks.
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) continue;
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string skipped;
    for (int i = 0; i < 11; ++i) fields >> skipped;
    double user = 0;
    double system = 0;
    if (fields >> user >> system) seconds[std::stoull(task->d_name)] = (user + system) / tick;
  }
  closedir(tasks);
  return seconds;
}

}  // namespace serial::testing_support
