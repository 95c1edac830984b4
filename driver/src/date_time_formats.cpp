#include "date_time_formats.hpp"

#include <array>
#include <cstdio>

#include "cp1250.hpp"

namespace kestradr {

const DateTimeFormats& Formats() {
  static const DateTimeFormats formats{"yy-MM-dd", "dd MMMM yyyy", "hh:mm", "hh:mm:ss"};
  return formats;
}

namespace {

// Genitive, as a day-month-year date is read in Polish ("31 grudnia 2005").
const std::string& MonthName(int month) {
  static const std::array<std::string, 13> names = {"",
                                                    Cp1250("stycznia"),
                                                    Cp1250("lutego"),
                                                    Cp1250("marca"),
                                                    Cp1250("kwietnia"),
                                                    Cp1250("maja"),
                                                    Cp1250("czerwca"),
                                                    Cp1250("lipca"),
                                                    Cp1250("sierpnia"),
                                                    Cp1250("września"),
                                                    Cp1250("października"),
                                                    Cp1250("listopada"),
                                                    Cp1250("grudnia")};
  return names[month >= 1 && month <= 12 ? static_cast<size_t>(month) : 0];
}

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, const DateTimeFields& when) {
  struct Token {
    std::string_view letters;
    std::string (*format)(const DateTimeFields&);
  };
  // Longer tokens first so that "yyyy" is not read as two "yy".
  static constexpr Token kTokens[] = {
      {"yyyy", [](const DateTimeFields& w) { return Digits(w.year, 4); }},
      {"yy", [](const DateTimeFields& w) { return Digits(w.year % 100, 2); }},
      {"MMMM", [](const DateTimeFields& w) { return MonthName(w.month); }},
      {"MM", [](const DateTimeFields& w) { return Digits(w.month, 2); }},
      {"dd", [](const DateTimeFields& w) { return Digits(w.day, 2); }},
      {"hh", [](const DateTimeFields& w) { return Digits(w.hour, 2); }},
      {"mm", [](const DateTimeFields& w) { return Digits(w.minute, 2); }},
      {"ss", [](const DateTimeFields& w) { return Digits(w.second, 2); }},
  };
  std::string text;
  size_t at = 0;
  while (at < pattern.size()) {
    bool matched = false;
    for (const Token& token : kTokens) {
      if (pattern.substr(at, token.letters.size()) == token.letters) {
        text += token.format(when);
        at += token.letters.size();
        matched = true;
        break;
      }
    }
    if (!matched) text += pattern[at++];
  }
  return text;
}

}  // namespace kestradr
