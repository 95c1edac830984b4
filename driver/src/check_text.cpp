#include "check_text.hpp"

#include "cp1250.hpp"
#include "printer_text.hpp"

namespace kestradr {

bool ReadPrintable(std::string_view utf8, PrintedText& printed, Problem& problem) {
  printed = {};
  for (size_t at = 0; at < utf8.size();) {
    const auto offset = static_cast<int32_t>(printed.original.size());
    const auto code = NextUtf8CodePoint(utf8, at);
    if (!code) {
      problem.rule = TAURAVAT_RULE_NOT_UTF8;
      problem.offset = offset;
      return false;
    }
    printed.original.push_back(*code);
    // One character at a time, so the plain forms and the printable set are PlainText's own.
    const auto byte = Cp1250Byte(*code);
    const auto plain = byte ? PlainText(std::string_view(&*byte, 1)) : std::nullopt;
    if (!plain) {
      problem.rule = TAURAVAT_RULE_NOT_PRINTABLE;
      problem.offset = offset;
      problem.codePoint = static_cast<uint32_t>(*code);
      return false;
    }
    printed.text += *plain;
    printed.origin.insert(printed.origin.end(), plain->size(), offset);
  }
  return true;
}

bool FitsIn(const PrintedText& printed, size_t limit, Problem& problem) {
  if (printed.text.size() <= limit) return true;
  const int32_t first = printed.origin[limit];
  problem.rule = TAURAVAT_RULE_TOO_LONG;
  problem.limit = static_cast<int64_t>(limit);
  problem.offset = first;
  problem.codePoint = static_cast<uint32_t>(printed.original[static_cast<size_t>(first)]);
  return false;
}

}  // namespace kestradr
