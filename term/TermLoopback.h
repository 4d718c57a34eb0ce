// The loopback test's fixed data, texts and timing. The test itself is a
// part of TTermMDIChildForm (TermLoopback.cpp).
#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace term {

// Line L is the first L characters of this, then CR LF.
constexpr const char* kLoopbackTestData = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::int32_t kLoopbackLongestLine = 52;
// Lines 1 to 52 once: the sum of L + 2.
constexpr std::int32_t kLoopbackTestTarget = 1482;
// The output-free level that starts the sending.
constexpr std::uint16_t kLoopbackFirstFreeLevel = 100;
constexpr const char* kLoopbackBoxTitle = "Quor Tallyport for Windows";

std::string LoopbackTestLine(std::int32_t length);

// Ticks to wait for the last characters to come back at a baud rate:
// Round(14820 / baud * 18.2) + 19, halves to even.
int LoopbackFinalWaitTicks(std::int32_t baud);

QString LoopbackPromptText(std::uint16_t comNumber);
QString LoopbackResultText(std::uint16_t comNumber, std::int32_t sent, std::int32_t received);

}  // namespace term
