#include "article_name.hpp"

#include <algorithm>
#include <string_view>

#include "printer_text.hpp"

namespace kestradr {

namespace {
// ĄĆĘŁŃÓŚŹŻ ąćęłńóśźż in code page 1250.
constexpr std::string_view kPolishLetters =
    "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF";
constexpr std::string_view kSignificantMarks = "%,./\\";
}  // namespace

bool IsSignificantNameChar(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return kSignificantMarks.find(c) != std::string_view::npos ||
         kPolishLetters.find(c) != std::string_view::npos;
}

int32_t CountSignificantNameChars(const std::string& name) {
  // Counted on the name as it goes out ("…" as "..."), as the item line judges it; a name
  // that cannot go out at all is counted as it is.
  const std::string sent = PlainText(name, kArticleNameLength).value_or(name);
  // Padding to 28 adds blanks only, which never count, so the first 28 are enough.
  const auto end =
      sent.begin() + static_cast<std::ptrdiff_t>(std::min(sent.size(), kArticleNameLength));
  return static_cast<int32_t>(std::count_if(sent.begin(), end, IsSignificantNameChar));
}

}  // namespace kestradr
