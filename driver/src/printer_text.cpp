#include "printer_text.hpp"

#include <algorithm>
#include <utility>

#include "device_models.hpp"
#include "messages.hpp"

namespace kestradr {
namespace {

// Code page 1250 → 852, the letters the printer's character set places elsewhere.
constexpr std::pair<uint8_t, uint8_t> kPolishLetters[] = {
    {0xA5, 0xA4}, {0xC6, 0x8F}, {0xCA, 0xA8}, {0xA3, 0x9D}, {0xD1, 0xE3}, {0xD3, 0xE0},
    {0x8C, 0x97}, {0x8F, 0x8D}, {0xAF, 0xBD}, {0xB9, 0xA5}, {0xE6, 0x86}, {0xEA, 0xA9},
    {0xB3, 0x88}, {0xF1, 0xE4}, {0xF3, 0xA2}, {0x9C, 0x98}, {0x9F, 0xAB}, {0xBF, 0xBE},
};

}  // namespace

char WindowsCharToPrinter(char c) {
  const auto byte = static_cast<uint8_t>(c);
  for (const auto& [windows, printer] : kPolishLetters)
    if (windows == byte) return static_cast<char>(printer);
  return c;
}

std::string WindowsTextToPrinter(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), WindowsCharToPrinter);
  return out;
}

std::string_view TextUpToNul(std::string_view text) {
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  return text.substr(0, std::min(text.size(), kMaxTextLength));
}

int32_t PrepareArticleName(std::string_view name, uint8_t deviceType, std::string& prepared) {
  prepared = TextUpToNul(name).substr(0, kArticleNameLength);
  prepared.resize(kArticleNameLength, ' ');
  const auto significant = std::count_if(prepared.begin(), prepared.end(), IsSignificantNameChar);
  return significant >= ModelOf(deviceType).minimumNameCharacters ? kOk : kNameTooShort;
}

std::array<uint8_t, 4> LongToBytes(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
          static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

}  // namespace kestradr
