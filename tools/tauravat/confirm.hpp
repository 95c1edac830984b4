// Asking the person at the terminal before an operation that cannot be undone.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace tauravat::cli {

// "y" or "yes" in any case, blanks around ignored; everything else is a no.
bool IsYes(std::string_view answer);

// Writes `question` and " [y/N] " to `out` and reads one line from `in`. True only for
// a yes; an empty line or the end of input is a no.
bool AskYesNo(const std::string& question, std::istream& in, std::ostream& out);

// Whether standard input is a terminal someone can answer on.
bool InputIsTerminal();

}  // namespace tauravat::cli
