// Typed reading of the records the shim answers with, over the offsets of
// mgmt/MgmtCommand.h: the only place in the program that knows them.
// Every integer is 32-bit little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mgmt/MgmtCommand.h"

namespace app {

template <std::size_t Size>
class MgmtRecord {
 public:
  static constexpr std::uint32_t kSize = Size;
  std::uint8_t* Data() { return bytes_.data(); }
  const std::uint8_t* Data() const { return bytes_.data(); }
  bool operator==(const MgmtRecord&) const = default;

 protected:
  std::uint32_t U32(std::uint32_t offset) const {
    return std::uint32_t(bytes_[offset]) | std::uint32_t(bytes_[offset + 1]) << 8 |
           std::uint32_t(bytes_[offset + 2]) << 16 | std::uint32_t(bytes_[offset + 3]) << 24;
  }
  std::uint8_t U8(std::uint32_t offset) const { return bytes_[offset]; }
  // Text up to its first NUL, at most maxLength bytes.
  std::string Text(std::uint32_t offset, std::size_t maxLength) const {
    const char* start = reinterpret_cast<const char*>(bytes_.data() + offset);
    return std::string(start, strnlen(start, maxLength));
  }

 private:
  std::array<std::uint8_t, Size> bytes_{};
};

// A modem line as the driver reports it.
struct LineState {
  std::uint8_t value = mgmt::port_status::kLineNotAvailable;
  bool On() const { return value == mgmt::port_status::kLineAsserted; }
  bool Available() const { return value != mgmt::port_status::kLineNotAvailable; }
};

class PortStatusRecord : public MgmtRecord<mgmt::port_status::kSize> {
 public:
  bool Closed() const { return U32(mgmt::port_status::kOpenState) == mgmt::port_status::kClosed; }
  LineState Rts() const { return {U8(mgmt::port_status::kRts)}; }
  LineState Cts() const { return {U8(mgmt::port_status::kCts)}; }
  LineState Dtr() const { return {U8(mgmt::port_status::kDtr)}; }
  LineState Dsr() const { return {U8(mgmt::port_status::kDsr)}; }
  LineState Ri() const { return {U8(mgmt::port_status::kRi)}; }
  LineState Cd() const { return {U8(mgmt::port_status::kCd)}; }
  std::uint32_t Baud() const { return U32(mgmt::port_status::kBaud); }
  std::uint32_t BaudCopy() const { return U32(mgmt::port_status::kBaudCopy); }
  std::uint32_t DataBitsCode() const { return U32(mgmt::port_status::kDataBitsCode); }
  std::uint32_t StopBits() const { return U32(mgmt::port_status::kStopBits); }
  std::uint32_t Parity() const { return U32(mgmt::port_status::kParity); }
};

class PortCountersRecord : public MgmtRecord<mgmt::port_counters::kSize> {
 public:
  std::uint32_t BytesTransmitted() const { return U32(mgmt::port_counters::kBytesTransmitted); }
  std::uint32_t BytesReceived() const { return U32(mgmt::port_counters::kBytesReceived); }
  // The three error counters summed in 32 bits, as the panel shows them.
  std::uint32_t ErrorSum() const {
    return U32(mgmt::port_counters::kErrors1) + U32(mgmt::port_counters::kErrors2) +
           U32(mgmt::port_counters::kErrors3);
  }
};

class BoardSummaryRecord : public MgmtRecord<mgmt::board_summary::kSize> {
 public:
  std::uint32_t PortCount() const { return U32(mgmt::board_summary::kPortCountCopy); }
};

class DriverInfoRecord : public MgmtRecord<mgmt::driver_info::kSize> {
 public:
  std::string DriverVersion() const {
    return Text(mgmt::driver_info::kDriverVersion, mgmt::driver_info::kTextSize);
  }
};

// The board name answer: text up to its first NUL.
class BoardNameRecord : public MgmtRecord<251> {
 public:
  std::string Name() const { return Text(0, kSize); }
};

class PortNamesRecord : public MgmtRecord<mgmt::port_names::kHarbexBufferSize> {
 public:
  static constexpr std::uint32_t kMaxEntries =
      (kSize - mgmt::port_names::kFirstEntry) / mgmt::port_names::kEntrySize;
  std::uint32_t Count() const { return U32(mgmt::port_names::kCount); }
  // Entry i (1-based, at most kMaxEntries): its text up to the first NUL.
  std::string Name(std::uint32_t i) const {
    return Text(mgmt::port_names::kFirstEntry + mgmt::port_names::kEntrySize * (i - 1),
                mgmt::port_names::kEntrySize);
  }
};

}  // namespace app
