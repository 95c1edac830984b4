// How receipt texts and numbers look on the wire: the caller's code page 1250 text made
// printable, article names cut to the printer's field, characters moved to the printer's
// code page 852, and 32-bit numbers least significant byte first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "article_name.hpp"

namespace kestradr {

// Characters of a caller's text that are looked at; the rest is ignored.
inline constexpr size_t kMaxTextLength = 254;
inline constexpr size_t kUnitLength = 4;

// The first `limit` characters of a code page 1250 text as the printer will print them,
// still in code page 1250: typographic quotes („ ” “ and ‚ ‘ ’), dashes (– —) and the
// no-break space in their plain forms, and the ellipsis as "..." (three characters of the
// limit: a name with "…" loses two characters at its end when cut to its field).
// Nothing when a character within the limit has no place in the printer's code page 852
// (€, ™, •, a control character, ...): a fiscal document must not print something other
// than what the caller asked for.
std::optional<std::string> PlainText(std::string_view text, size_t limit = std::string_view::npos);

// One character of a plain text (see PlainText) in the printer's code page 852. The 18
// Polish letters keep the codes the printer has always been sent.
char WindowsCharToPrinter(char c);
std::string WindowsTextToPrinter(std::string_view text);

// The 28-character name the item line carries (made plain, then cut, or padded with
// blanks), and 0 or 202 when it has too few significant characters for the device type;
// 215 when it holds a character the printer cannot print.
int32_t PrepareArticleName(std::string_view name, uint8_t deviceType, std::string& prepared);

std::array<uint8_t, 4> LongToBytes(int32_t value);

// The text up to its first NUL, at most kMaxTextLength characters.
std::string_view TextUpToNul(std::string_view text);

}  // namespace kestradr
