#include <map>

#include "serial/ErrorText.h"

namespace serial {

// The system's texts for the Windows error numbers the comm devices and the
// engine can produce here, worded as Windows words them.
std::string SystemErrorText(std::uint32_t number) {
  static const std::map<std::uint32_t, const char*> kTexts = {
      {1, "Incorrect function.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {3, "The system cannot find the path specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {6, "The handle is invalid.\r\n"},
      {8, "Not enough memory resources are available to process this command.\r\n"},
      {21, "The device is not ready.\r\n"},
      {31, "A device attached to the system is not functioning.\r\n"},
      {87, "The parameter is incorrect.\r\n"},
      {995,
       "The I/O operation has been aborted because of either a thread exit or an application "
       "request.\r\n"},
      {1117, "The request could not be performed because of an I/O device error.\r\n"},
  };
  auto it = kTexts.find(number);
  return it == kTexts.end() ? std::string() : it->second;
}

}  // namespace serial
