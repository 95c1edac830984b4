#include "cp1250.hpp"

#include <array>
#include <stdexcept>

namespace kestradr {
namespace {

struct Letter {
  char32_t unicode;
  unsigned char cp1250;
};

// The 18 Polish letters.
constexpr std::array<Letter, 18> kPolish{{
    {U'Ą', 0xA5}, {U'Ć', 0xC6}, {U'Ę', 0xCA}, {U'Ł', 0xA3}, {U'Ń', 0xD1}, {U'Ó', 0xD3},
    {U'Ś', 0x8C}, {U'Ź', 0x8F}, {U'Ż', 0xAF}, {U'ą', 0xB9}, {U'ć', 0xE6}, {U'ę', 0xEA},
    {U'ł', 0xB3}, {U'ń', 0xF1}, {U'ó', 0xF3}, {U'ś', 0x9C}, {U'ź', 0x9F}, {U'ż', 0xBF},
}};

}  // namespace

std::string Cp1250(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    if ((lead & 0xE0) != 0xC0 || i + 1 >= utf8.size())
      throw std::invalid_argument("not a Polish letter in a driver text");
    const auto next = static_cast<unsigned char>(utf8[i + 1]);
    const char32_t code = (char32_t{lead & 0x1Fu} << 6) | (next & 0x3Fu);
    bool found = false;
    for (const Letter& letter : kPolish) {
      if (letter.unicode == code) {
        out.push_back(static_cast<char>(letter.cp1250));
        found = true;
        break;
      }
    }
    if (!found) throw std::invalid_argument("not a Polish letter in a driver text");
    i += 2;
  }
  return out;
}

}  // namespace kestradr
