// The texts of the result codes (enum tauravat_result names them).
#pragma once

#include <cstdint>
#include <string>

#include "tauravat.h"

namespace kestradr {

// The text of a code in code page 1250: empty for 0, the catch-all text for codes
// without a text of their own (negative ones included).
const std::string& MessageText(int32_t code);

// The texts of the handle interface: UTF-8, lines joined by "\n", in Polish (the texts
// above, and those of the codes only the handle interface returns) or English.
enum class Language { Polish, English };
std::string MessageTextUtf8(int32_t code, Language language);

// The code's name in enum tauravat_result ("TAURAVAT_E_NAK"); null for a number it lacks.
const char* CodeName(int32_t code);

}  // namespace kestradr
