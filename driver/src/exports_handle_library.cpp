// The handle interface's functions that need no printer: the version, the messages in
// Polish and English, the article-name count and the printable-text check.
#include <string>
#include <string_view>
#include <vector>

#include "article_name.hpp"
#include "cp1250.hpp"
#include "export_guard.hpp"
#include "handle_marshal.hpp"
#include "messages.hpp"
#include "printer_text.hpp"
#include "tauravat.h"

using namespace kestradr;

extern "C" TAURAVAT_API const char* TAURAVAT_CALL tauravat_version(void) {
  return TAURAVAT_VERSION_STRING;
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_message(int32_t code, const char* language,
                                                               char* text, size_t size,
                                                               size_t* needed) {
  if (language == nullptr || MissingBuffer(text, size)) return kNullArgument;
  return Guarded([&]() -> int32_t {
    const std::string_view chosen(language);
    if (chosen != "pl" && chosen != "en") return kParameterOutOfRange;
    const Language which = chosen == "pl" ? Language::Polish : Language::English;
    return TextOut(MessageTextUtf8(code, which), text, size, needed);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_chars_in_article_name(const char* utf8_name,
                                                                             int32_t* count) {
  if (utf8_name == nullptr || count == nullptr) return kNullArgument;
  return Guarded([&]() -> int32_t {
    const auto name = Utf8In(utf8_name);
    if (!name) return kParameterOutOfRange;
    *count = CountSignificantNameChars(*name);
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_find_unprintable(const char* utf8_text,
                                                                        size_t* offset,
                                                                        uint32_t* code_point) {
  if (utf8_text == nullptr) return kNullArgument;
  return Guarded([&]() -> int32_t {
    const auto refuse = [&](size_t at, uint32_t code) {
      if (offset != nullptr) *offset = at;
      if (code_point != nullptr) *code_point = code;
      return kParameterOutOfRange;
    };
    // The text as the driver sends it, in code page 1250, one byte per character; a
    // character that code page lacks stands as a NUL, which is never printable either.
    const std::string_view text(utf8_text);
    std::string cp1250;
    std::vector<char32_t> codes;
    for (size_t at = 0; at < text.size();) {
      const auto code = NextUtf8CodePoint(text, at);
      if (!code) return refuse(codes.size(), TAURAVAT_NOT_UTF8);
      codes.push_back(*code);
      cp1250 += Cp1250Byte(*code).value_or('\0');
    }
    const auto refused = FirstUnprintable(cp1250);
    return refused ? refuse(*refused, static_cast<uint32_t>(codes[*refused])) : kOk;
  });
}
