#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestra::emu {

// The printer's character set is code page 852; the paper roll is written as UTF-8.
std::string Cp852ToUtf8(std::span<const uint8_t> bytes);

// The printer's own texts are written in UTF-8 here; only their Polish letters (and
// ASCII) are representable, anything else becomes '?'.
std::string Utf8ToCp852(std::string_view utf8);

// Number of characters (code points) in a UTF-8 string, for column layout.
std::size_t Utf8Length(std::string_view utf8);

}  // namespace kestra::emu
