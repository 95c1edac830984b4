// Windows code page 1250, the character set of every text the driver exchanges with
// its legacy callers and (through the 852 letters of printer_text) with the printer.
// The driver's own texts are kept readable (UTF-8) in the sources; the handle
// interface takes and gives UTF-8 and converts here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestradr {

// One code point of `utf8` from `at`, moving `at` past it; nothing for a malformed,
// overlong or surrogate sequence or a value beyond U+10FFFF (`at` then stays).
std::optional<char32_t> NextUtf8CodePoint(std::string_view utf8, size_t& at);

// The code page 1250 byte of a code point, nothing when the code page lacks it.
std::optional<char> Cp1250Byte(char32_t code);

// The code page 1250 bytes of UTF-8 text, or nothing when the text is not well-formed
// UTF-8 or holds a character the code page lacks.
std::optional<std::string> Utf8ToCp1250(std::string_view utf8);

// UTF-8 of code page 1250 text; the five bytes the code page leaves unassigned become
// U+FFFD, so no byte is lost silently.
std::string Cp1250ToUtf8(std::string_view cp1250);

// A driver text written in the sources: one the code page lacks is a programming error
// and throws std::invalid_argument.
std::string Cp1250(std::string_view utf8);

}  // namespace kestradr
