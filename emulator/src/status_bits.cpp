#include <algorithm>
#include <array>

#include "kestra/emu/printer_config.hpp"

namespace kestra::emu {
namespace {

struct NamedByte {
  std::string_view name;
  uint8_t StatusBits::*field;
};

constexpr std::array<NamedByte, 11> kBytes = {{
    {"status94", &StatusBits::memory94},
    {"status95", &StatusBits::print95},
    {"status96", &StatusBits::jumper96},
    {"status9b", &StatusBits::mode9B},
    {"status5f", &StatusBits::extra5F},
    {"status50", &StatusBits::extra50},
    {"statusf3", &StatusBits::extraF3},
    {"status5d", &StatusBits::extra5D},
    {"lock", &StatusBits::lock60},
    {"byte5e", &StatusBits::byte5E},
    {"euro", &StatusBits::euroF5},
}};

constexpr auto kNames = [] {
  std::array<std::string_view, kBytes.size()> names{};
  for (std::size_t i = 0; i < kBytes.size(); ++i) names[i] = kBytes[i].name;
  return names;
}();

}  // namespace

uint8_t* StatusByteNamed(StatusBits& bits, std::string_view name) {
  const auto* named = std::find_if(kBytes.begin(), kBytes.end(),
                                   [name](const NamedByte& b) { return b.name == name; });
  return named == kBytes.end() ? nullptr : &(bits.*(named->field));
}

std::span<const std::string_view> StatusByteNames() {
  return kNames;
}

}  // namespace kestra::emu
