#include "app/QuorMgmt.h"

namespace app {

platform::HMODULE MgmtLibraryHandle = nullptr;
MgmtCommandFunction MgmtCommand = nullptr;
bool MgmtLoaded = false;

namespace {

void ReleaseHandle() {
  if (MgmtLibraryHandle) platform::FreeLibrary(MgmtLibraryHandle);
  MgmtLibraryHandle = nullptr;
}

}  // namespace

void BindManagementLibrary(const std::string& libraryName) {
  try {
    MgmtLibraryHandle = platform::LoadLibrary(libraryName);
  } catch (...) {
    ReleaseHandle();
    return;
  }
  if (!MgmtLibraryHandle) return;
  MgmtCommand = reinterpret_cast<MgmtCommandFunction>(
      platform::GetProcAddress(MgmtLibraryHandle, "MgmtCommand"));
  if (!MgmtCommand) {
    ReleaseHandle();
    return;
  }
  std::uint32_t version = 0;
  if (MgmtCommand(0, mgmt::MgmtGetVersion, nullptr, 0, &version, sizeof version) !=
          mgmt::MgmtSuccess ||
      version < 1) {
    MgmtCommand = nullptr;
    ReleaseHandle();
    return;
  }
  MgmtLoaded = true;
}

void StartManagementBinding(const std::function<void(const char* message)>& showMessage,
                            const std::string& libraryName) {
  static bool shown = false;
  BindManagementLibrary(libraryName);
  if (!MgmtLoaded && !shown) {
    shown = true;
    showMessage(kMgmtNotLoadedMessage);
  }
}

void ReleaseManagementLibrary() {
  ReleaseHandle();
}

}  // namespace app
