// The line as the owner thread sets it: DTR and RTS with their handshake,
// RS485 mode, the flow settings, the device's input queue size and the rate
// the last change was timed for.
//
// Owner thread only (the thread that opens the port and changes its
// settings); it takes no lock, since no other thread reads or writes it.
// Every change reads the device control block fresh into a copy, changes the
// copy and writes it back through Write, which applies DTR and RTS as
// recorded here; the device is called with no dispatcher lock held.
#pragma once

#include <cstdint>

#include "platform/comm/CommDevice.h"

namespace serial {

// Open options (PortOpenSettings::options).
constexpr std::uint8_t kOptionDtr = 0x01;
constexpr std::uint8_t kOptionRts = 0x02;
constexpr std::uint8_t kOptionUseDtr = 0x10;
constexpr std::uint8_t kOptionUseRts = 0x20;

// Hardware flow flags (one to one with the port's HWFlowOptions) and software
// flow flags.
constexpr std::uint8_t kFlowUseDtr = 0x01;
constexpr std::uint8_t kFlowUseRts = 0x02;
constexpr std::uint8_t kFlowRequireDsr = 0x04;
constexpr std::uint8_t kFlowRequireCts = 0x08;
constexpr std::uint8_t kSoftFlowTransmit = 0x01;
constexpr std::uint8_t kSoftFlowReceive = 0x02;

class TLineControl {
 public:
  // The rate settle times assume until a change has been written.
  static constexpr std::uint32_t kDefaultTimingBaud = 115200;

  // Records DTR and RTS from the open options (kOption... bits) and sets
  // those not under handshake.
  void Open(platform::CommDevice& device, std::uint8_t options, std::uint16_t inQueueSize);
  void SetInputQueueSize(std::uint16_t size) { inQueueSize_ = size; }
  // Writes dcb with DTR and RTS as recorded; 0 or minus the system error.
  std::int32_t Write(platform::CommDevice& device, platform::CommState dcb);
  // The written rate times the next change's settle wait.
  void NoteRateWritten(std::uint32_t baud) { timingBaud_ = baud; }
  std::uint32_t TimingBaud() const { return timingBaud_; }

  // -1002 when bufferFull < bufferResume or bufferFull > the input queue size.
  std::int32_t SetHardwareFlow(platform::CommDevice& device, std::uint8_t flags,
                               std::uint16_t bufferFull, std::uint16_t bufferResume);
  std::int32_t SetSoftwareFlow(platform::CommDevice& device, std::uint8_t flags,
                               std::uint16_t bufferFull, std::uint16_t bufferResume);
  std::int32_t SetFlowChars(platform::CommDevice& device, char xonChar, char xoffChar);
  // Ignored (result 0, state unchanged) while the line is under handshake.
  std::int32_t SetDtr(platform::CommDevice& device, bool on);
  std::int32_t SetRts(platform::CommDevice& device, bool on);
  bool DtrAutomatic() const { return dtrAuto_; }
  bool RtsAutomatic() const { return rtsAuto_; }
  void SetRS485Mode(bool on);
  bool RS485Mode() const { return rs485_; }

 private:
  bool dtrState_ = false;
  bool rtsState_ = false;
  bool dtrAuto_ = false;
  bool rtsAuto_ = false;
  bool rs485_ = false;
  std::uint16_t inQueueSize_ = 0;
  std::uint32_t timingBaud_ = kDefaultTimingBaud;
};

}  // namespace serial
