// MgmtCommand with any arguments over a machine of three boards. Buffers are
// exactly as long as claimed (or absent), so any write past them is caught.
#include <cstring>
#include <vector>

#include "ModelBoards.h"
#include "mgmt/ByteOrder.h"
#include "mgmt/Shim.h"

namespace {

struct Fixture {
  Fixture() : setup(mgmt::test::Make9xSetup(3)), host(setup.MakeHost()), shim(*host) {
    mgmt::AttachShim(shim);
  }
  mgmt::test::ModelSetup setup;
  std::unique_ptr<mgmt::HostModel> host;
  mgmt::Shim shim;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  if (size < 14) return 0;
  const auto board = static_cast<std::int32_t>(mgmt::GetU32(data, 0));
  const std::uint32_t command = mgmt::GetU32(data, 4) % 16;
  const std::uint32_t outputLength = mgmt::GetU32(data, 8) % 2048;
  const bool outputPresent = data[12] & 1;
  const bool inputPresent = data[12] & 2;
  const std::uint8_t fill = data[13];
  std::vector<std::uint8_t> input(data + 14, data + size);
  std::vector<std::uint8_t> output(outputLength, fill);
  // Null buffers with their lengths are the callers' mistakes the library
  // must survive; a length longer than a real buffer no callee can see.
  const auto inputLength = static_cast<std::uint32_t>(input.size());
  mgmt::DispatchCommand(fixture.shim, board, command, inputPresent ? input.data() : nullptr,
                        inputLength, outputPresent ? output.data() : nullptr, outputLength);
  return 0;
}
