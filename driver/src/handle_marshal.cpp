#include "handle_marshal.hpp"

#include <cstring>

#include "cp1250.hpp"
#include "messages.hpp"

namespace kestradr {

int32_t TextOut(std::string_view utf8, char* text, size_t size, size_t* needed) {
  const size_t required = utf8.size() + 1;
  if (needed != nullptr) *needed = required;
  if (size < required) {
    if (text != nullptr && size > 0) text[0] = '\0';
    return TAURAVAT_E_BUFFER_TOO_SMALL;
  }
  if (text == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  std::memcpy(text, utf8.data(), utf8.size());
  text[utf8.size()] = '\0';
  return TAURAVAT_OK;
}

int32_t Cp1250TextOut(std::string_view cp1250, char* text, size_t size, size_t* needed) {
  return TextOut(Cp1250ToUtf8(cp1250), text, size, needed);
}

std::optional<std::string> Utf8In(const char* utf8) {
  return Utf8ToCp1250(std::string_view(utf8));
}

}  // namespace kestradr
