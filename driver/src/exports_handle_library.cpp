// The handle interface's functions that need no printer: the version, the messages in
// Polish and English, the codes' names, the system's error behind a port code, the article-name
// count and the device behind a COM number.
#include <string_view>

#include "article_name.hpp"
#include "export_guard.hpp"
#include "handle_marshal.hpp"
#include "messages.hpp"
#include "port_failure.hpp"
#include "port_names.hpp"
#include "tauravat.h"

using namespace kestradr;

extern "C" TAURAVAT_API const char* TAURAVAT_CALL tauravat_version(void) {
  return TAURAVAT_VERSION_STRING;
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_message(int32_t code, const char* language,
                                                               char* text, size_t size,
                                                               size_t* needed) {
  if (language == nullptr || MissingBuffer(text, size)) return TAURAVAT_E_NULL_ARGUMENT;
  return Guarded([&]() -> int32_t {
    const std::string_view chosen(language);
    if (chosen != "pl" && chosen != "en") return TAURAVAT_E_PARAMETER_RANGE;
    const Language which = chosen == "pl" ? Language::Polish : Language::English;
    return TextOut(MessageTextUtf8(code, which), text, size, needed);
  });
}

extern "C" TAURAVAT_API const char* TAURAVAT_CALL tauravat_code_name(int32_t code) {
  return CodeName(code);
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_last_os_error(int32_t* error_number,
                                                                     char* text, size_t size,
                                                                     size_t* needed) {
  if (MissingBuffer(text, size)) return TAURAVAT_E_NULL_ARGUMENT;
  return Guarded([&]() -> int32_t {
    const OsErrorRecord& record = LastOsErrorRecord();
    if (error_number != nullptr) *error_number = record.number;
    return TextOut(record.text, text, size, needed);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_chars_in_article_name(const char* utf8_name,
                                                                             int32_t* count) {
  if (utf8_name == nullptr || count == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return Guarded([&]() -> int32_t {
    const auto name = Utf8In(utf8_name);
    if (!name) return TAURAVAT_E_PARAMETER_RANGE;
    *count = CountSignificantNameChars(*name);
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_port_path(int32_t number, char* text,
                                                                 size_t size, size_t* needed) {
  if (MissingBuffer(text, size)) return TAURAVAT_E_NULL_ARGUMENT;
  return Guarded([&]() -> int32_t {
    if (number < 1 || number > 255) return TAURAVAT_E_PARAMETER_RANGE;
    const auto path = PlatformPortPath(number);
    if (!path) return TAURAVAT_E_NO_PORT;
    return TextOut(*path, text, size, needed);
  });
}
