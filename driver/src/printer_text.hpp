// How receipt texts and numbers look on the wire: article names cut to the printer's
// field, the Polish letters moved from code page 1250 to the printer's 852, and
// 32-bit numbers least significant byte first.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "article_name.hpp"

namespace kestradr {

// Characters of a caller's text that are looked at; the rest is ignored.
inline constexpr size_t kMaxTextLength = 254;

// One code page 1250 character as the printer's code page 852 has it; only the 18
// Polish letters change.
char WindowsCharToPrinter(char c);
std::string WindowsTextToPrinter(std::string_view text);

// The 28-character name the item line carries (cut, or padded with blanks), and 0 or
// 202 when it has too few significant characters for the device type.
int32_t PrepareArticleName(std::string_view name, uint8_t deviceType, std::string& prepared);

std::array<uint8_t, 4> LongToBytes(int32_t value);

// The text up to its first NUL, at most kMaxTextLength characters.
std::string_view TextUpToNul(std::string_view text);

}  // namespace kestradr
