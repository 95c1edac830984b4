// Text between the terminal, UTF-8 (JSON) and the printer's code page 1250.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tauravat::cli {

// The terminal's character set from the locale (LC_CTYPE); the plain C locale is taken
// as UTF-8, as most terminals are, so Polish text is not lost to ASCII.
std::string TerminalCodeset();

// Converts `text` from one character set to another. Without `approximate`, a character
// the target cannot hold (or a malformed input sequence) gives nothing; with it, such
// characters are approximated ("ą" as "a") or replaced by "?".
std::optional<std::string> Convert(std::string_view text, const std::string& from,
                                   const std::string& to, bool approximate = false);

// UTF-8 text as the terminal's character set can show it (approximated where it cannot).
std::string ForTerminal(const std::string& utf8, const std::string& codeset);

std::string Cp1250ToUtf8(std::string_view text);
std::optional<std::string> Utf8ToCp1250(std::string_view text);

// Driver messages separate their lines with a lone carriage return.
std::string WithNewlines(std::string text);

}  // namespace tauravat::cli
