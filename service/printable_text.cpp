#include "printable_text.hpp"

#include <cstdio>

#include "cp1250.hpp"

namespace tauravatd {
namespace {

using kestradr::Cp1250Byte;
using kestradr::NextUtf8CodePoint;

std::string CodePointName(char32_t code) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
  return name;
}

}  // namespace

std::optional<std::string> UnprintableReason(std::string_view utf8) {
  for (size_t at = 0; at < utf8.size();) {
    const auto code = NextUtf8CodePoint(utf8, at);
    if (!code) return "not valid UTF-8";
    if (*code < 0x20 || *code == 0x7F) return "holds the control character " + CodePointName(*code);
    if (!Cp1250Byte(*code)) return "the printer cannot print " + CodePointName(*code);
  }
  return std::nullopt;
}

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (size_t at = 0; at < utf8.size(); ++count) {
    if (!NextUtf8CodePoint(utf8, at)) ++at;
  }
  return count;
}

}  // namespace tauravatd
