// Which texts the printer can print. The driver hands text to the printer in code page
// 1250 (only the Polish letters are translated for it), so a character outside that
// code page cannot reach the paper as written, and a control character would end a line
// early or be taken as a command.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tauravatd {

// Nothing when the printer can print `utf8`; otherwise why not ("U+20BF is not in code
// page 1250", "not valid UTF-8").
std::optional<std::string> UnprintableReason(std::string_view utf8);

// Characters (not bytes) in valid UTF-8 text.
size_t CharacterCount(std::string_view utf8);

}  // namespace tauravatd
