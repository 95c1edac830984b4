#include "hex.hpp"

#include <cctype>

namespace tauravat::cli {
namespace {

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == ':' || c == ',' || c == '-';
}

// Splits one word into groups at separators.
std::vector<std::string> Groups(const std::string& word) {
  std::vector<std::string> groups;
  std::string current;
  for (char c : word) {
    if (IsSeparator(c)) {
      if (!current.empty()) groups.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) groups.push_back(current);
  return groups;
}

}  // namespace

std::optional<std::vector<uint8_t>> ParseHex(const std::vector<std::string>& words,
                                             std::string& error) {
  std::vector<uint8_t> bytes;
  for (const std::string& word : words) {
    for (std::string group : Groups(word)) {
      const std::string original = group;
      if (group.size() > 2 && group[0] == '0' && (group[1] == 'x' || group[1] == 'X')) {
        group.erase(0, 2);
      }
      if (group.size() % 2 != 0) {
        error = "\"" + original + "\" has an odd number of hex digits";
        return std::nullopt;
      }
      for (size_t i = 0; i < group.size(); i += 2) {
        const int high = Digit(group[i]);
        const int low = Digit(group[i + 1]);
        if (high < 0 || low < 0) {
          error = "\"" + original + "\" is not hexadecimal";
          return std::nullopt;
        }
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
      }
    }
  }
  return bytes;
}

std::string FormatHex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::optional<uint8_t> ParseHexByte(const std::string& text) {
  std::string error;
  const auto bytes = ParseHex({text}, error);
  if (!bytes || bytes->size() != 1) return std::nullopt;
  return bytes->front();
}

}  // namespace tauravat::cli
