// ErrorText: the message of an engine error code (any thread).
#pragma once

#include <cstdint>
#include <string>

namespace serial {

constexpr std::size_t kMaxErrorText = 255;

// The error table's entry for the code's magnitude; when the table has none,
// the system's text for that number with control characters turned into
// single spaces; empty when neither knows it. At most 255 characters.
std::string ErrorText(std::int32_t code);

// The operating system's message for a Windows error number, empty when it
// has none. Windows: FormatMessage. Linux: a table of the numbers that the
// comm devices report.
std::string SystemErrorText(std::uint32_t number);

}  // namespace serial
