#include "mgmt/DriverChannel.h"

#include <array>
#include <vector>

#include "mgmt/ByteOrder.h"

namespace mgmt {
namespace {

constexpr char kVersionKey9x[] = "\\StringFileInfo\\040904E4\\FileVersion";
constexpr char kVersionKeyNT[] = "\\StringFileInfo\\040904B0\\ProductVersion";

// A version block larger than this is treated as damaged.
constexpr std::uint32_t kMaxVersionBlock = 1 << 20;

bool Is9x(const DriverContext& context) {
  return context.platform.is9x == MgmtSuccess;
}

Handle OpenExclusive(Host& host, const std::string& path, std::uint32_t flags) {
  return host.CreateFile(path, kGenericReadWrite, 0, kOpenExisting, flags);
}

void OpenAndClosePort(Host& host, BoardRecord& record) {
  if (record.portPath)
    record.portHandle = OpenExclusive(host, *record.portPath, kFileAttributeNormal);
  if (record.portHandle != kInvalidHandle) host.CloseHandle(record.portHandle);
  record.portHandle = kInvalidHandle;
}

}  // namespace

MgmtResult OpenBoardDevice(DriverContext context, BoardRecord& record) {
  Host& host = context.host;
  if (Is9x(context) && record.portPath)
    record.portHandle = OpenExclusive(host, *record.portPath, kFileAttributeNormal);
  if (record.devicePath)
    record.deviceHandle =
        OpenExclusive(host, *record.devicePath, kFileAttributeNormal | kFileFlagDeleteOnClose);
  if (record.portHandle != kInvalidHandle) host.CloseHandle(record.portHandle);
  record.portHandle = kInvalidHandle;
  if (Is9x(context)) OpenAndClosePort(host, record);
  return record.deviceHandle != kInvalidHandle ? MgmtSuccess : MgmtFailure;
}

MgmtResult SelectBoard(DriverContext context, BoardRecord& record) {
  if (!Is9x(context)) return MgmtSuccess;
  const std::string pciPath = record.pciPath.value_or(std::string());
  const bool selected =
      context.host.DeviceIoControl(record.deviceHandle, IOCTL_BOARD_SELECT, pciPath.data(),
                                   static_cast<std::uint32_t>(pciPath.size()), nullptr, 0, nullptr);
  return selected ? MgmtSuccess : MgmtFailure;
}

MgmtResult SendDriverRequest(DriverContext context, BoardRecord& record, std::uint32_t code,
                             const void* input, std::uint32_t inputLength, void* output,
                             std::uint32_t outputLength) {
  if (SelectBoard(context, record) != MgmtSuccess) return MgmtFailure;
  std::uint32_t bytesReturned = 0;
  const bool done = context.host.DeviceIoControl(record.deviceHandle, code, input, inputLength,
                                                 output, outputLength, &bytesReturned);
  return done ? MgmtSuccess : MgmtFailure;
}

MgmtResult ReadDriverVersion(DriverContext context, BoardRecord& record) {
  Host& host = context.host;
  if (!record.driverFilePath) return MgmtFailure;
  const std::uint32_t size = host.GetFileVersionInfoSize(*record.driverFilePath);
  if (size == 0 || size > kMaxVersionBlock) return MgmtFailure;
  std::vector<std::uint8_t> block(size);
  if (!host.GetFileVersionInfo(*record.driverFilePath, size, block.data())) return MgmtFailure;
  std::string version;
  const char* key = Is9x(context) ? kVersionKey9x : kVersionKeyNT;
  if (!host.VerQueryValue(block.data(), size, key, version)) return MgmtFailure;
  record.driverVersion = version;
  return MgmtSuccess;
}

MgmtResult RefreshBoard(DriverContext context, BoardRecord& record) {
  if (ReadDriverVersion(context, record) != MgmtSuccess) return MgmtFailure;
  if (context.platform.isNT4 != MgmtSuccess && OpenBoardDevice(context, record) != MgmtSuccess)
    return MgmtFailure;
  if (SelectBoard(context, record) != MgmtSuccess) return MgmtFailure;
  // Zeroed first, so a driver that answers short leaves zeros, not garbage.
  std::array<std::uint8_t, MgmtBoardInfoSize> info{};
  std::uint32_t bytesReturned = 0;
  if (!context.host.DeviceIoControl(record.deviceHandle, IOCTL_BOARD_GET_INFO, nullptr, 0,
                                    info.data(), MgmtBoardInfoSize, &bytesReturned))
    return MgmtFailure;
  record.boardInfoWord0 = GetU32(info.data(), MgmtBoardInfoWord0);
  record.portCount = GetU32(info.data(), MgmtBoardInfoPortCount);
  return MgmtSuccess;
}

}  // namespace mgmt
