// Text out of the handle interface: the sized outputs (text, size, needed), asked again
// with the size the library names when the first buffer is short, and the messages of
// result codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tauravat.h"

namespace tauravat::cli {

// Calls fn(text, size, needed) and puts the text into `out` on success.
template <class Fn>
int32_t ReadText(Fn&& fn, std::string& out) {
  std::vector<char> text(TAURAVAT_MESSAGE_SIZE);
  size_t needed = 0;
  int32_t code = fn(text.data(), text.size(), &needed);
  if (code == TAURAVAT_E_BUFFER_TOO_SMALL && needed > text.size()) {
    text.resize(needed);
    code = fn(text.data(), text.size(), &needed);
  }
  if (code == TAURAVAT_OK) out = text.data();
  return code;
}

// The Polish message of a result code, UTF-8 with newlines.
std::string MessageUtf8(int32_t code);
// The message in `language`, "pl" or "en".
std::string MessageIn(int32_t code, const std::string& language);

// The system's error the driver kept for this thread after a port code: "" when none.
std::string LastOsErrorText(int32_t* number = nullptr);

// Whether `code` is one of the port codes (the port would not open or set up).
inline bool IsPortCode(int32_t code) {
  return code >= TAURAVAT_E_PORT_NOT_FOUND && code <= TAURAVAT_E_PORT_FAILED;
}

// The device COM `number` stands for, as tauravat_open maps it; nothing when none does.
std::optional<std::string> PortPath(int number);

}  // namespace tauravat::cli
