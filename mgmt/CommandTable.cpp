#include <algorithm>
#include <cstring>

#include "mgmt/ByteOrder.h"
#include "mgmt/DriverChannel.h"
#include "mgmt/Shim.h"

namespace mgmt {
namespace {

// Minimum output length of the commands answered from the records.
std::uint32_t MinimumOutputLength(std::uint32_t command) {
  switch (command) {
    case MgmtGetVersion:
    case MgmtGetBoardCount:
      return 4;
    case MgmtGetBoardSummary:
      return MgmtBoardSummarySize;
    case MgmtGetDriverInfo:
      return MgmtDriverInfoSize;
    default:
      return 0;
  }
}

// A text into its 64-byte field, cut to 63 characters so the NUL always fits.
void PutText(std::uint8_t* out, std::uint32_t offset, const std::optional<std::string>& text) {
  std::uint8_t* field = out + offset;
  std::memset(field, 0, MgmtDriverInfoTextSize);
  if (!text) return;
  const std::size_t length = std::min<std::size_t>(text->size(), MgmtDriverInfoTextSize - 1);
  std::memcpy(field, text->data(), length);
}

MgmtResult WriteSummary(const BoardRecord& record, std::int32_t board, std::uint8_t* out) {
  const auto number = static_cast<std::uint32_t>(board);
  PutU32(out, MgmtBoardSummaryBoardNumber, number);
  PutU32(out, MgmtBoardSummaryBoardNumberCopy, number);
  PutU32(out, MgmtBoardSummaryBoardInfoWord0, record.boardInfoWord0);
  PutU32(out, MgmtBoardSummaryPortCount, record.portCount);
  PutU32(out, MgmtBoardSummaryPortCountCopy, record.portCount);
  return MgmtSuccess;
}

MgmtResult WriteDriverInfo(const BoardRecord& record, std::uint8_t* out) {
  PutU32(out, MgmtDriverInfoFormat, MgmtDriverInfoFormatValue);
  PutText(out, MgmtDriverInfoDriverName, record.driverName);
  PutText(out, MgmtDriverInfoDriverVersion, record.driverVersion);
  return MgmtSuccess;
}

MgmtResult WriteBoardName(const BoardRecord& record, std::uint8_t* out,
                          std::uint32_t outputLength) {
  if (!record.description || outputLength <= record.description->size()) return MgmtFailure;
  std::memcpy(out, record.description->c_str(), record.description->size() + 1);
  return MgmtSuccess;
}

}  // namespace

MgmtResult DispatchCommand(Shim& shim, std::int32_t board, std::uint32_t command, const void* input,
                           std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  if (command < MgmtGetVersion || command > MgmtGetBoardName) return MgmtFailure;
  if (outputLength < MinimumOutputLength(command)) return MgmtFailure;
  // A buffer the caller says is there but is not would be written through null.
  if ((!output && outputLength != 0) || (!input && inputLength != 0)) return MgmtFailure;
  auto* out = static_cast<std::uint8_t*>(output);

  if (command == MgmtGetVersion) {
    PutU32(out, 0, kMgmtVersion);
    return MgmtSuccess;
  }
  if (command == MgmtGetBoardCount) {
    PutU32(out, 0, shim.boardList.Count());
    return MgmtSuccess;
  }
  BoardRecord* record = shim.boardList.LookUp(board);
  if (!record) return MgmtFailure;
  switch (command) {
    case MgmtGetBoardSummary:
      return WriteSummary(*record, board, out);
    case MgmtGetDriverInfo:
      return WriteDriverInfo(*record, out);
    case MgmtGetBoardName:
      return WriteBoardName(*record, out, outputLength);
    default:
      return SendDriverRequest({shim.host, shim.platform}, *record, ForwardedRequestCode(command),
                               input, inputLength, output, outputLength);
  }
}

}  // namespace mgmt
