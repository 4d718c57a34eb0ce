// Gives a shared library an attach/detach entry without exporting a symbol.
// The entry is `int Entry(int reason)` with reason kModuleAttach or
// kModuleDetach; on attach it returns non-zero to let the load go on. Header
// only, so a library can use it without linking anything of the program.
//
// Windows: the macro defines DllMain. Linux: it places a pointer to the entry
// in the section ".quor_entry", which platform::LoadLibrary reads.
#pragma once

namespace platform {
constexpr int kModuleDetach = 0;
constexpr int kModuleAttach = 1;
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
#define QUOR_MODULE_ENTRY(entry) \
  [[gnu::section(".quor_entry"), gnu::used]] static int (*const quorModuleEntry)(int) = entry
#endif
