#include <windows.h>

#include "serial/ErrorText.h"

namespace serial {

std::string SystemErrorText(std::uint32_t number) {
  char buffer[512];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, number, 0, buffer, sizeof buffer, nullptr);
  return std::string(buffer, length);
}

}  // namespace serial
