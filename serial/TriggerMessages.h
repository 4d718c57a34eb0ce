// Window messages and values the serial engine exchanges with its users.
#pragma once

#include <cstdint>

#include "platform/Messages.h"

namespace serial {

// Trigger messages sent by a dispatcher to its window handlers. The high word
// of lParam is the dispatcher's handle.
constexpr platform::UINT kMsgTriggerAvail = 0x7E01;   // wParam = bytes available
constexpr platform::UINT kMsgTriggerData = 0x7E02;    // wParam = trigger handle
constexpr platform::UINT kMsgTriggerTimer = 0x7E03;   // wParam = trigger handle
constexpr platform::UINT kMsgTriggerStatus = 0x7E04;  // wParam = trigger handle
// A set of the four trigger messages, one bit each.
using TriggerMessageSet = std::uint8_t;
constexpr TriggerMessageSet TriggerMessageBit(platform::UINT msg) {
  return TriggerMessageSet(1u << (msg - kMsgTriggerAvail));
}
constexpr TriggerMessageSet kAllTriggerMessages = 0x0F;

// Sent to the port's users (wParam = lParam = 0).
constexpr platform::UINT kMsgPortOpened = 0x7E08;
constexpr platform::UINT kMsgPortClosing = 0x7E09;
// Posted to the component's own window to finish a close begun in a trigger.
constexpr platform::UINT kMsgClosePending = 0x7E0A;

// Status trigger kinds; a status trigger's handle carries its kind in the low
// three bits.
constexpr std::uint32_t kStatusModem = 1;
constexpr std::uint32_t kStatusLineError = 2;
constexpr std::uint32_t kStatusOutBuffFree = 3;
constexpr std::uint32_t kStatusOutBuffUsed = 4;
constexpr std::uint32_t kStatusOutSent = 5;

// The data-available trigger's fixed handle.
constexpr std::uint16_t kAvailTriggerHandle = 1;

// Modem-status byte: line bits as the UART's modem status register, change
// bits in the low nibble.
constexpr std::uint8_t kModemCtsChanged = 0x01;
constexpr std::uint8_t kModemDsrChanged = 0x02;
constexpr std::uint8_t kModemRiChanged = 0x04;
constexpr std::uint8_t kModemDcdChanged = 0x08;
constexpr std::uint8_t kModemCts = 0x10;
constexpr std::uint8_t kModemDsr = 0x20;
constexpr std::uint8_t kModemRi = 0x40;
constexpr std::uint8_t kModemDcd = 0x80;

// Line error bits the dispatcher accumulates.
constexpr std::uint8_t kLineRxOverflow = 0x01;
constexpr std::uint8_t kLineOverrun = 0x02;
constexpr std::uint8_t kLineParity = 0x04;
constexpr std::uint8_t kLineFraming = 0x08;
constexpr std::uint8_t kLineBreak = 0x10;

// Error mask bits a caller arms a line-error trigger with.
constexpr std::uint16_t kArmOverrun = 1;
constexpr std::uint16_t kArmParity = 2;
constexpr std::uint16_t kArmFraming = 4;
constexpr std::uint16_t kArmBreak = 8;

}  // namespace serial
