// A caller's UTF-8 text as the printer will print it, for the checks: every character
// mapped through code page 1250 to the printer's 852 (typographic ones in their plain
// forms), remembering which of the caller's characters each printed one came from, so a
// problem can name the caller's character and its offset.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"

namespace kestradr {

struct PrintedText {
  std::string text;                // code page 1250, plain forms, as PlainText gives it
  std::vector<int32_t> origin;     // for each byte of text: the caller's character offset
  std::vector<char32_t> original;  // the caller's characters
};

// The printed form of `utf8`, or false with the rule (NOT_UTF8 or NOT_PRINTABLE), offset and
// code point set in `problem`.
bool ReadPrintable(std::string_view utf8, PrintedText& printed, Problem& problem);

// Whether the printed form fits `limit` characters; if not, `problem` gets TOO_LONG with
// the limit and the caller's first character that does not fit.
bool FitsIn(const PrintedText& printed, size_t limit, Problem& problem);

}  // namespace kestradr
