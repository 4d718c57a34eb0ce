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
  std::uint8_t value = MgmtLineNotAvailable;
  bool On() const { return value == MgmtLineAsserted; }
  bool Available() const { return value != MgmtLineNotAvailable; }
};

class PortStatusRecord : public MgmtRecord<MgmtPortStatusSize> {
 public:
  bool Closed() const { return U32(MgmtPortStatusOpenState) == MgmtPortStatusClosed; }
  LineState Rts() const { return {U8(MgmtPortStatusRts)}; }
  LineState Cts() const { return {U8(MgmtPortStatusCts)}; }
  LineState Dtr() const { return {U8(MgmtPortStatusDtr)}; }
  LineState Dsr() const { return {U8(MgmtPortStatusDsr)}; }
  LineState Ri() const { return {U8(MgmtPortStatusRi)}; }
  LineState Cd() const { return {U8(MgmtPortStatusCd)}; }
  std::uint32_t Baud() const { return U32(MgmtPortStatusBaud); }
  std::uint32_t BaudCopy() const { return U32(MgmtPortStatusBaudCopy); }
  std::uint32_t DataBitsCode() const { return U32(MgmtPortStatusDataBitsCode); }
  std::uint32_t StopBits() const { return U32(MgmtPortStatusStopBits); }
  std::uint32_t Parity() const { return U32(MgmtPortStatusParity); }
};

class PortCountersRecord : public MgmtRecord<MgmtPortCountersSize> {
 public:
  std::uint32_t BytesTransmitted() const { return U32(MgmtPortCountersBytesTransmitted); }
  std::uint32_t BytesReceived() const { return U32(MgmtPortCountersBytesReceived); }
  // The three error counters summed in 32 bits, as the panel shows them.
  std::uint32_t ErrorSum() const {
    return U32(MgmtPortCountersErrors1) + U32(MgmtPortCountersErrors2) +
           U32(MgmtPortCountersErrors3);
  }
};

class BoardSummaryRecord : public MgmtRecord<MgmtBoardSummarySize> {
 public:
  std::uint32_t PortCount() const { return U32(MgmtBoardSummaryPortCountCopy); }
};

class DriverInfoRecord : public MgmtRecord<MgmtDriverInfoSize> {
 public:
  std::string DriverVersion() const {
    return Text(MgmtDriverInfoDriverVersion, MgmtDriverInfoTextSize);
  }
};

// The board name answer: text up to its first NUL.
class BoardNameRecord : public MgmtRecord<251> {
 public:
  std::string Name() const { return Text(0, kSize); }
};

class PortNamesRecord : public MgmtRecord<MgmtPortNamesBufferSize> {
 public:
  static constexpr std::uint32_t kMaxEntries =
      (kSize - MgmtPortNamesFirstEntry) / MgmtPortNamesEntrySize;
  std::uint32_t Count() const { return U32(MgmtPortNamesCount); }
  // Entry i (1-based, at most kMaxEntries): its text up to the first NUL.
  std::string Name(std::uint32_t i) const {
    return Text(MgmtPortNamesFirstEntry + MgmtPortNamesEntrySize * (i - 1), MgmtPortNamesEntrySize);
  }
};

}  // namespace app
