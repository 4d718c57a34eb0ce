// Gives a shared library an attach/detach entry without exporting a symbol.
// The entry is `int Entry(int reason)` with reason kModuleAttach or
// kModuleDetach; on attach it returns non-zero to let the load go on. Header
// only, so a library can use it without linking anything of the program.
//
// Windows: the macro defines DllMain. Linux: the library's own load and
// unload run the entry, whoever loads it (dlopen, the dynamic linker, Python
// ctypes), so every client gets a library that has attached once. The macro
// also places a pointer in the section ".quor_entry" through which
// platform::LoadLibrary reads the attach's answer (without attaching again)
// and tells the library to detach on the last FreeLibrary. The entry is told
// to detach once per attach, whichever comes first.
#pragma once

namespace platform {
constexpr int kModuleDetach = 0;
constexpr int kModuleAttach = 1;

// Where a library's attachment stands, and the one step that moves it on.
enum class ModuleAttachment { kDetached, kAttached, kRefused };

inline int StepModuleEntry(int (*entry)(int), ModuleAttachment& attachment, int reason) {
  if (reason == kModuleAttach) {
    if (attachment == ModuleAttachment::kDetached)
      attachment =
          entry(kModuleAttach) != 0 ? ModuleAttachment::kAttached : ModuleAttachment::kRefused;
    return attachment == ModuleAttachment::kAttached ? 1 : 0;
  }
  if (attachment != ModuleAttachment::kDetached) {
    attachment = ModuleAttachment::kDetached;
    entry(kModuleDetach);
  }
  return 1;
}
}  // namespace platform

#ifdef _WIN32
#include <windows.h>
#define QUOR_MODULE_ENTRY(entry)                                                  \
  extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {               \
    if (reason == DLL_PROCESS_ATTACH) return entry(platform::kModuleAttach) != 0; \
    if (reason == DLL_PROCESS_DETACH) entry(platform::kModuleDetach);             \
    return TRUE;                                                                  \
  }
#else
// The state is a plain value. The detach is registered for this library
// after the attach has run, so at unload and at exit it runs before the
// library's own static objects are destroyed, as DLL_PROCESS_DETACH does on
// Windows. It is registered with the library's own handle, as atexit does
// inside a library: ThreadSanitizer's atexit drops the handle, and would call
// the detach at exit after the library was unloaded.
#include <cxxabi.h>
extern "C" void* __dso_handle;
#define QUOR_MODULE_ENTRY(entry)                                                           \
  namespace {                                                                              \
  platform::ModuleAttachment quorModuleAttachment = platform::ModuleAttachment::kDetached; \
  int QuorModuleStep(int reason) {                                                         \
    return platform::StepModuleEntry(entry, quorModuleAttachment, reason);                 \
  }                                                                                        \
  void QuorModuleUnloading(void*) {                                                        \
    QuorModuleStep(platform::kModuleDetach);                                               \
  }                                                                                        \
  [[gnu::constructor]] void QuorModuleLoaded() {                                           \
    QuorModuleStep(platform::kModuleAttach);                                               \
    abi::__cxa_atexit(QuorModuleUnloading, nullptr, &__dso_handle);                        \
  }                                                                                        \
  }                                                                                        \
  [[gnu::section(".quor_entry"), gnu::used]] static int (*const quorModuleEntry)(int) =    \
      QuorModuleStep
#endif
