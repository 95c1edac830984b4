#include "printable_text.hpp"

#include <cstdint>
#include <cstdio>
#include <string>

#include "tauravat.h"

namespace tauravatd {
namespace {

// What is printable is the same for every model and every text the printer prints; the
// driver's item check reads the name's characters before anything that depends on either.
const tauravat_model_info& AnyModel() {
  static const tauravat_model_info model = [] {
    tauravat_model_info info{};
    info.size = sizeof info;
    tauravat_model_by_type(7, &info);
    return info;
  }();
  return model;
}

}  // namespace

std::optional<Unprintable> FindUnprintable(std::string_view utf8) {
  // The driver takes C strings: the text before a NUL goes to it, the NUL itself is a
  // control character the printer would not print either.
  const size_t nul = utf8.find('\0');
  const std::string head(utf8.substr(0, nul));
  tauravat_item item{};
  item.size = sizeof item;
  item.kind = TAURAVAT_ITEM_SALE;
  item.name = head.c_str();
  tauravat_problem problem{};
  problem.size = sizeof problem;
  tauravat_check_item(&AnyModel(), nullptr, &item, &problem);
  if (std::string_view(problem.field) == "name") {
    const auto offset = static_cast<size_t>(problem.offset);
    if (problem.rule == TAURAVAT_RULE_NOT_PRINTABLE) return Unprintable{offset, problem.code_point};
    if (problem.rule == TAURAVAT_RULE_NOT_UTF8) return Unprintable{offset, kNotUtf8};
  }
  if (nul != std::string_view::npos) return Unprintable{CharacterCount(head), U'\0'};
  return std::nullopt;
}

std::string CodePointName(char32_t code) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
  return name;
}

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (const char c : utf8) {
    // Every character has exactly one byte that is not a continuation (10xxxxxx).
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace tauravatd
