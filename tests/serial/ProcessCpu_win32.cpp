#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include "tests/serial/ProcessCpu.h"

namespace serial::testing_support {

std::map<std::uint64_t, double> ThreadCpuSample::Take() {
  std::map<std::uint64_t, double> seconds;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return seconds;
  auto toSeconds = [](const FILETIME& t) {
    return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
  };
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    FILETIME created, exited, kernel, user;
    if (GetThreadTimes(thread, &created, &exited, &kernel, &user))
      seconds[entry.th32ThreadID] = toSeconds(kernel) + toSeconds(user);
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return seconds;
}

}  // namespace serial::testing_support
