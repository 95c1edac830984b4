// Which texts the printer can print, as the driver decides it: the driver refuses a
// character its code pages lack only once the receipt has begun on paper, so the service
// asks the driver's own check first.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tauravatd {

struct Unprintable {
  size_t offset = 0;  // in characters from the start of the text
  // kNotUtf8 where the text stops being well-formed UTF-8 (never in a JSON string).
  char32_t codePoint = 0;
};

inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;  // beyond every code point

// The first character of `utf8` the printer cannot print: one that code page 852 lacks
// (€, ™, ñ) or a control character, a NUL included.
std::optional<Unprintable> FindUnprintable(std::string_view utf8);

// "U+20AC".
std::string CodePointName(char32_t code);

// Characters (not bytes) in valid UTF-8 text.
size_t CharacterCount(std::string_view utf8);

}  // namespace tauravatd
