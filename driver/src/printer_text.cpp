#include "printer_text.hpp"

#include <algorithm>
#include <utility>

#include "device_models.hpp"
#include "messages.hpp"

namespace kestradr {
namespace {

// Code page 1250 bytes 0x80..0xFF → their code in 852; 0 where 852 does not hold the
// character. Among them the 18 Polish letters: Ą A5→A4, Ć C6→8F, Ę CA→A8, Ł A3→9D,
// Ń D1→E3, Ó D3→E0, Ś 8C→97, Ź 8F→8D, Ż AF→BD, ą B9→A5, ć E6→86, ę EA→A9, ł B3→88,
// ń F1→E4, ó F3→A2, ś 9C→98, ź 9F→AB, ż BF→BE.
// clang-format off
constexpr std::array<uint8_t, 128> kUpperHalfTo852 = {
    /* 80 */ 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE6, 0x00, 0x97, 0x9B, 0xA6, 0x8D,
    /* 90 */ 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE7, 0x00, 0x98, 0x9C, 0xA7, 0xAB,
    /* A0 */ 0x00, 0xF3, 0xF4, 0x9D, 0xCF, 0xA4, 0x00, 0xF5, 0xF9, 0x00, 0xB8, 0xAE, 0xAA, 0xF0, 0x00, 0xBD,
    /* B0 */ 0xF8, 0x00, 0xF2, 0x88, 0xEF, 0x00, 0x00, 0x00, 0xF7, 0xA5, 0xAD, 0xAF, 0x95, 0xF1, 0x96, 0xBE,
    /* C0 */ 0xE8, 0xB5, 0xB6, 0xC6, 0x8E, 0x91, 0x8F, 0x80, 0xAC, 0x90, 0xA8, 0xD3, 0xB7, 0xD6, 0xD7, 0xD2,
    /* D0 */ 0xD1, 0xE3, 0xD5, 0xE0, 0xE2, 0x8A, 0x99, 0x9E, 0xFC, 0xDE, 0xE9, 0xEB, 0x9A, 0xED, 0xDD, 0xE1,
    /* E0 */ 0xEA, 0xA0, 0x83, 0xC7, 0x84, 0x92, 0x86, 0x87, 0x9F, 0x82, 0xA9, 0x89, 0xD8, 0xA1, 0x8C, 0xD4,
    /* F0 */ 0xD0, 0xE4, 0xE5, 0xA2, 0x93, 0x8B, 0x94, 0xF6, 0xFD, 0x85, 0xA3, 0xFB, 0x81, 0xEC, 0xEE, 0xFA,
};
// clang-format on

// Typographic characters of code page 1250 that 852 lacks, in the plain form the
// customer reads the same. The no-break space is held by 852 but printed as a blank:
// the printer never breaks a line, so the two look alike and only the blank is sure to.
constexpr std::pair<uint8_t, std::string_view> kPlainForms[] = {
    {0x82, "'"},   {0x91, "'"},  {0x92, "'"},   // ‚ ‘ ’
    {0x84, "\""},  {0x93, "\""}, {0x94, "\""},  // „ “ ”
    {0x96, "-"},   {0x97, "-"},                 // – —
    {0x85, "..."},                              // …
    {0xA0, " "},                                // no-break space
};

bool Printable(uint8_t byte) {
  if (byte < 0x20 || byte == 0x7F) return false;  // control characters
  return byte < 0x80 || kUpperHalfTo852[byte - 0x80] != 0;
}

}  // namespace

std::optional<std::string> PlainText(std::string_view text, size_t limit) {
  std::string plain;
  for (const char c : text) {
    if (plain.size() >= limit) break;
    const auto byte = static_cast<uint8_t>(c);
    const auto* form = std::find_if(std::begin(kPlainForms), std::end(kPlainForms),
                                    [byte](const auto& entry) { return entry.first == byte; });
    if (form != std::end(kPlainForms)) {
      plain += form->second;
    } else if (Printable(byte)) {
      plain += c;
    } else {
      return std::nullopt;
    }
  }
  if (plain.size() > limit) plain.resize(limit);
  return plain;
}

char WindowsCharToPrinter(char c) {
  const auto byte = static_cast<uint8_t>(c);
  if (byte < 0x80) return c;
  // Only plain text reaches the wire; a character 852 lacks would print as another one.
  const uint8_t code = kUpperHalfTo852[byte - 0x80];
  return static_cast<char>(code != 0 ? code : '?');
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
  const auto plain = PlainText(TextUpToNul(name), kArticleNameLength);
  if (!plain) return TAURAVAT_E_PARAMETER_RANGE;
  prepared = *plain;
  prepared.resize(kArticleNameLength, ' ');
  const auto significant = std::count_if(prepared.begin(), prepared.end(), IsSignificantNameChar);
  return significant >= ModelOf(deviceType).minimumNameCharacters ? TAURAVAT_OK
                                                                  : TAURAVAT_E_NAME_TOO_SHORT;
}

std::array<uint8_t, 4> LongToBytes(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
          static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

}  // namespace kestradr
