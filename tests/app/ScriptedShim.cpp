// The scripted management library (see ScriptedShim.h). Variants: NO_EXPORT
// leaves MgmtCommand out.
#include "tests/app/ScriptedShim.h"

#include <algorithm>
#include <cstring>

#include "mgmt/MgmtCommand.h"

namespace {

app_test::ShimScript* script = nullptr;

void Put32(void* output, std::uint32_t offset, std::uint32_t value) {
  auto* bytes = static_cast<std::uint8_t*>(output) + offset;
  for (int i = 0; i < 4; ++i) bytes[i] = std::uint8_t(value >> (8 * i));
}

void PutText(void* output, std::uint32_t offset, const std::string& text, std::size_t room) {
  std::memcpy(static_cast<char*>(output) + offset, text.data(), std::min(text.size(), room));
}

[[maybe_unused]] std::int32_t Answer(std::int32_t board, std::uint32_t command, const void* input,
                                     std::uint32_t inputLength, void* output,
                                     std::uint32_t outputLength) {
  using namespace mgmt;
  if (!script) return MgmtFailure;
  ++script->requests;
  if (command == MgmtGetVersion) {
    Put32(output, 0, script->version);
    return MgmtSuccess;
  }
  if (command == MgmtGetBoardCount) {
    if (script->boardCountFails) return MgmtFailure;
    Put32(output, 0, std::uint32_t(script->boards.size()));
    return MgmtSuccess;
  }
  if (board < 1 || board > std::int32_t(script->boards.size())) return MgmtFailure;
  const app_test::ScriptedBoard& b = script->boards[std::size_t(board - 1)];
  std::memset(output, 0, outputLength);
  switch (command) {
    case MgmtGetBoardSummary:
      if (b.summaryFails) return MgmtFailure;
      Put32(output, MgmtBoardSummaryPortCountCopy, b.portCount);
      return MgmtSuccess;
    case MgmtGetBoardName:
      if (b.nameFails) return MgmtFailure;
      PutText(output, 0, b.name, outputLength);
      return MgmtSuccess;
    case MgmtGetDriverInfo:
      if (b.driverInfoFails) return MgmtFailure;
      PutText(output, MgmtDriverInfoDriverVersion, b.driverVersion, MgmtDriverInfoTextSize);
      return MgmtSuccess;
    case MgmtGetPortNames:
      if (b.namesFails) return MgmtFailure;
      Put32(output, MgmtPortNamesCount, std::uint32_t(b.portNames.size()));
      for (std::size_t i = 0; i < b.portNames.size() && i < 64; ++i)
        PutText(output, MgmtPortNamesFirstEntry + MgmtPortNamesEntrySize * std::uint32_t(i),
                b.portNames[i], MgmtPortNamesEntrySize);
      return MgmtSuccess;
    case MgmtGetPortStatus:
    case MgmtGetPortCounters: {
      std::uint32_t index = 0;
      if (inputLength < 4) return MgmtFailure;
      std::memcpy(&index, input, 4);
      if (index >= b.ports.size()) return MgmtFailure;
      const app_test::ScriptedPort& p = b.ports[index];
      if (command == MgmtGetPortStatus) {
        if (p.statusFails) return MgmtFailure;
        Put32(output, MgmtPortStatusOpenState, p.openState);
        auto* bytes = static_cast<std::uint8_t*>(output);
        bytes[MgmtPortStatusRts] = p.rts;
        bytes[MgmtPortStatusCts] = p.cts;
        bytes[MgmtPortStatusDtr] = p.dtr;
        bytes[MgmtPortStatusDsr] = p.dsr;
        bytes[MgmtPortStatusRi] = p.ri;
        bytes[MgmtPortStatusCd] = p.cd;
        Put32(output, MgmtPortStatusBaud, p.baud);
        Put32(output, MgmtPortStatusBaudCopy, p.baudCopy);
        Put32(output, MgmtPortStatusDataBitsCode, p.dataBitsCode);
        Put32(output, MgmtPortStatusStopBits, p.stopBits);
        Put32(output, MgmtPortStatusParity, p.parity);
        return MgmtSuccess;
      }
      if (p.countersFails) return MgmtFailure;
      Put32(output, MgmtPortCountersBytesTransmitted, p.bytesTransmitted);
      Put32(output, MgmtPortCountersBytesReceived, p.bytesReceived);
      Put32(output, MgmtPortCountersErrors1, p.errors[0]);
      Put32(output, MgmtPortCountersErrors2, p.errors[1]);
      Put32(output, MgmtPortCountersErrors3, p.errors[2]);
      return MgmtSuccess;
    }
    default:
      return MgmtFailure;
  }
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) void ScriptShim(app_test::ShimScript* newScript) {
  script = newScript;
}
#ifndef NO_EXPORT
__attribute__((visibility("default"))) std::int32_t MgmtCommand(
    std::int32_t board, std::uint32_t command, const void* input, std::uint32_t inputLength,
    void* output, std::uint32_t outputLength) {
  return Answer(board, command, input, inputLength, output, outputLength);
}
#endif
}
