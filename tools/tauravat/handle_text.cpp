#include "handle_text.hpp"

namespace tauravat::cli {

std::string MessageUtf8(int32_t code) {
  return MessageIn(code, "pl");
}

std::string MessageIn(int32_t code, const std::string& language) {
  std::string text;
  ReadText(
      [&](char* out, size_t size, size_t* needed) {
        return tauravat_message(code, language.c_str(), out, size, needed);
      },
      text);
  return text;
}

std::string LastOsErrorText(int32_t* number) {
  int32_t error = 0;
  std::string text;
  ReadText([&](char* out, size_t size,
               size_t* needed) { return tauravat_last_os_error(&error, out, size, needed); },
           text);
  if (number != nullptr) *number = error;
  return text;
}

std::optional<std::string> PortPath(int number) {
  std::string path;
  const int32_t code =
      ReadText([&](char* out, size_t size,
                   size_t* needed) { return tauravat_port_path(number, out, size, needed); },
               path);
  if (code != TAURAVAT_OK) return std::nullopt;
  return path;
}

}  // namespace tauravat::cli
