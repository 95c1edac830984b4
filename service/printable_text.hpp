// Characters as the interface names them to a till's developer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tauravatd {

// "U+20AC".
std::string CodePointName(char32_t code);

// Characters (not bytes) in valid UTF-8 text.
size_t CharacterCount(std::string_view utf8);

}  // namespace tauravatd
