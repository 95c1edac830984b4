// Text between the terminal's character set and UTF-8, which JSON and the driver speak.
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

}  // namespace tauravat::cli
