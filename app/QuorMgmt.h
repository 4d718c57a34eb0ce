// The binding to the management shim: loads "QuorMgmt.DLL" at start-up, looks
// up its one entry point and checks that it answers. Everything that talks to
// the boards calls MgmtCommand, and only while MgmtLoaded holds.
//
// Threads: written at start-up and shut-down on the main thread, read from
// the GUI thread afterwards. Tests may point MgmtCommand at a scripted
// function and set MgmtLoaded themselves.
#pragma once

#include <functional>
#include <string>

#include "mgmt/MgmtCommand.h"
#include "platform/Modules.h"

namespace app {

inline constexpr const char* kMgmtLibraryName = "QuorMgmt.DLL";
inline constexpr const char* kMgmtNotLoadedMessage = "QuorMgmt.DLL was not properly loaded";

extern platform::HMODULE MgmtLibraryHandle;
extern MgmtCommandFunction MgmtCommand;
extern bool MgmtLoaded;

// Outcome in MgmtLoaded; a failed binding leaves no library loaded. Tests
// name a library of their own.
void BindManagementLibrary(const std::string& libraryName = kMgmtLibraryName);

// The start-up step: binds, and shows kMgmtNotLoadedMessage through
// showMessage when that failed (at most once per run).
void StartManagementBinding(const std::function<void(const char* message)>& showMessage,
                            const std::string& libraryName = kMgmtLibraryName);

// The shut-down step: releases the library if one is loaded.
void ReleaseManagementLibrary();

}  // namespace app
