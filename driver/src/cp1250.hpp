// The driver's texts are kept readable (UTF-8) in the sources and handed out in
// Windows code page 1250, the encoding every caller of the driver expects.
#pragma once

#include <string>
#include <string_view>

namespace kestradr {

// Converts UTF-8 text made of ASCII and the Polish letters to code page 1250.
// Any other character is a programming error and throws std::invalid_argument.
std::string Cp1250(std::string_view utf8);

}  // namespace kestradr
