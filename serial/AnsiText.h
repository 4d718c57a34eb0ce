// Text conversion to the process's ANSI code page (UTF-8 on Linux).
#pragma once

#include <string>
#include <string_view>

namespace serial {

std::string Utf16ToAnsi(std::u16string_view text);

}  // namespace serial
