// Values across the handle interface: UTF-8 text in and out of code page 1250, sized
// output buffers, and the core's item line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "printer.hpp"
#include "tauravat.h"

namespace kestradr {

// Writes `utf8` and its NUL into (text, size) and the bytes that take into *needed
// (optional). Too small: TAURAVAT_E_BUFFER_TOO_SMALL, and only a NUL at text[0] when size > 0.
int32_t TextOut(std::string_view utf8, char* text, size_t size, size_t* needed);

// The same for code page 1250 text the printer or the legacy layer gave.
int32_t Cp1250TextOut(std::string_view cp1250, char* text, size_t size, size_t* needed);

// An output buffer the caller claims has room but gave no memory for.
inline bool MissingBuffer(const void* text, size_t size) {
  return text == nullptr && size > 0;
}

// A caller's UTF-8 text in code page 1250, or nothing when it holds a character the code
// page lacks (or is not UTF-8).
std::optional<std::string> Utf8In(const char* utf8);

// The core's line for a handle item already checked (the check bounds its numbers to the
// printer's 32 bits), with its name and unit in code page 1250.
inline ItemLine CoreLine(const tauravat_item& item, std::string_view name, std::string_view unit) {
  return {.cancel = item.kind != TAURAVAT_ITEM_SALE,
          .name = name,
          .rate = item.rate,
          .message = item.message,
          .quantity = static_cast<int32_t>(item.quantity),
          .decimals = item.decimals,
          .unit = unit,
          .price = item.price,
          .value = item.value};
}

}  // namespace kestradr
