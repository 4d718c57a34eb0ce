// A library for the module-loading tests. Its entry appends "attach" and
// "detach" to the file named by QUOR_MODULE_LOG and answers attach with
// ATTACH_RESULT.
#include <cstdio>
#include <cstdlib>

#include "platform/ModuleEntry.h"

#ifdef _WIN32
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

void Log(const char* what) {
  const char* path = std::getenv("QUOR_MODULE_LOG");
  if (!path) return;
  if (FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s\n", what);
    std::fclose(file);
  }
}

int Entry(int reason) {
  Log(reason == platform::kModuleAttach ? "attach" : "detach");
  return reason == platform::kModuleAttach ? ATTACH_RESULT : 1;
}

}  // namespace

QUOR_MODULE_ENTRY(Entry);

PROBE_EXPORT int ModuleProbe() {
  return 42;
}
