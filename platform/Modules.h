// Run-time loading of shared libraries with the Windows calling pattern.
//
// On Linux a Windows library name maps to a shared object: "QuorMgmt.DLL"
// becomes "libquormgmt.so" (lower case, ".dll" dropped, "lib" + ".so" added);
// a name holding a '/' is a path and is used as it stands. Bare names are
// searched in the program's own folder first, then in the library folder of
// the program's installation (its lib or lib/<multiarch> beside its bin),
// LD_LIBRARY_PATH and the system's library folders. In each folder the
// mapped name is tried first, then its runtime name ("libquormgmt.so.1"),
// which is all a runtime package installs. A library may carry an
// attach/detach entry (platform/ModuleEntry.h); an attach that reports
// failure makes the load fail, after the entry has been told to detach.
#pragma once

#include <string>

// windows.h defines these as macros; ours are plain functions.
#undef LoadLibrary

namespace platform {

using HMODULE = void*;
using FARPROC = void*;

HMODULE LoadLibrary(const std::string& name);
FARPROC GetProcAddress(HMODULE module, const std::string& name);
bool FreeLibrary(HMODULE module);

// The file a bare library name would load, or empty when none is found.
std::string FindLibraryFile(const std::string& name);

// The shared-object file name a Windows library name maps to ("libquormgmt.so").
std::string MapLibraryName(const std::string& name);

// Full path of the running program.
std::string ProgramFilePath();

}  // namespace platform
