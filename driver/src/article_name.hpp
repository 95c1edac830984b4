// Which characters of an article name count towards its significance: the printer
// refuses names that carry too few of them.
#pragma once

#include <cstdint>
#include <string>

namespace kestradr {

inline constexpr size_t kArticleNameLength = 28;

// Letters, digits, "%,./\" and the 18 Polish letters, in code page 1250.
bool IsSignificantNameChar(char c);

// Significant characters among the first 28 of `name` as the printer receives it (0..28).
int32_t CountSignificantNameChars(const std::string& name);

}  // namespace kestradr
