#include "serial/ErrorText.h"

#include <cstdlib>

#include "serial/StringResource.h"

namespace serial {
namespace {

std::string Normalised(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 32) c = ' ';
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return out;
}

}  // namespace

std::string ErrorText(std::int32_t code) {
  const auto magnitude = static_cast<std::uint32_t>(std::llabs(std::int64_t(code)));
  std::string text = ErrorStrings().GetString(magnitude).substr(0, kMaxErrorText);
  if (text.empty()) text = Normalised(SystemErrorText(magnitude)).substr(0, kMaxErrorText);
  return text;
}

}  // namespace serial
