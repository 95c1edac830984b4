#include "printable_text.hpp"

#include <cstdint>
#include <cstdio>
#include <string>

#include "tauravat.h"

namespace tauravatd {

static_assert(kNotUtf8 == TAURAVAT_NOT_UTF8);

std::optional<Unprintable> FindUnprintable(std::string_view utf8) {
  // The driver takes C strings: the text before a NUL goes to it, the NUL itself is a
  // control character the printer would not print either.
  const size_t nul = utf8.find('\0');
  const std::string head(utf8.substr(0, nul));
  size_t offset = 0;
  uint32_t code = 0;
  if (tauravat_find_unprintable(head.c_str(), &offset, &code) != TAURAVAT_OK) {
    return Unprintable{offset, static_cast<char32_t>(code)};
  }
  if (nul != std::string_view::npos) return Unprintable{CharacterCount(head), U'\0'};
  return std::nullopt;
}

std::string CodePointName(char32_t code) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
  return name;
}

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (const char c : utf8) {
    // Every character has exactly one byte that is not a continuation (10xxxxxx).
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace tauravatd
