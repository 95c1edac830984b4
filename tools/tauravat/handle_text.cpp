#include "handle_text.hpp"

namespace tauravat::cli {

std::string MessageUtf8(int32_t code) {
  std::string text;
  ReadText([&](char* out, size_t size,
               size_t* needed) { return tauravat_message(code, "pl", out, size, needed); },
           text);
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
