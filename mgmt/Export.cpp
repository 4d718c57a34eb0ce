// The library's entry point and its one export. Everything else in the
// library is hidden (visibility, version script, .def file). The entry runs
// when the library is loaded, by whatever means (platform/ModuleEntry.h).
//
// The attach runs from the library's ELF constructor, possibly before other
// translation units of the library are initialised: the library keeps no
// namespace-scope objects that need dynamic initialisation.
#include <memory>

#include "mgmt/MgmtCommand.h"
#include "mgmt/Shim.h"
#include "mgmt/SystemHost.h"
#include "platform/ModuleEntry.h"

namespace {

// Empty and not valid until attach; the shim stays until the library goes.
struct Library {
  std::unique_ptr<mgmt::Host> host;
  std::unique_ptr<mgmt::Shim> shim;
};

Library& TheLibrary() {
  static Library library;
  return library;
}

int QuorMgmtEntry(int reason) {
  Library& library = TheLibrary();
  if (reason == platform::kModuleDetach) {
    if (library.shim) mgmt::DetachShim(*library.shim);
    return 1;
  }
  try {
    library.host = mgmt::CreateSystemHost();
    if (!library.host) return 0;
    library.shim = std::make_unique<mgmt::Shim>(*library.host);
  } catch (...) {
    return 0;
  }
  try {
    if (mgmt::AttachShim(*library.shim) == mgmt::MgmtSuccess) return 1;
    // Refused: a client that loaded the library anyway gets MgmtFailure.
    library.shim.reset();
    return 0;
  } catch (...) {
    // Only a walk can throw (out of memory): it ends there, the boards found
    // so far stay, and the library still loads.
    return 1;
  }
}

}  // namespace

QUOR_MODULE_ENTRY(QuorMgmtEntry);

std::int32_t QUORMGMT_CALL MgmtCommand(std::int32_t board, std::uint32_t command, const void* input,
                                       std::uint32_t inputLength, void* output,
                                       std::uint32_t outputLength) {
  Library& library = TheLibrary();
  // An attach that was refused or never ran leaves nothing to answer from.
  if (!library.shim) return mgmt::MgmtFailure;
  try {
    return mgmt::DispatchCommand(*library.shim, board, command, input, inputLength, output,
                                 outputLength);
  } catch (...) {
    return mgmt::MgmtFailure;
  }
}
