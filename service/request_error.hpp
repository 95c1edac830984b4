// Why a request body was refused, and where.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tauravatd {

struct RequestError {
  RequestError(int32_t driverCode = 0, std::string fieldName = {}, std::string text = {})
      : code(driverCode), field(std::move(fieldName)), detail(std::move(text)) {}

  // The driver's result code for the same fault when it has one (208 for a price out of
  // range, 226 for a reserved rate), 0 when the fault is the request's alone.
  int32_t code = 0;
  std::string field;   // "items[2].price"; empty for the body as a whole
  std::string detail;  // English, for the developer of the till
  // A character the printer cannot print: its place in the field, in characters, and
  // its code point.
  std::optional<size_t> offset;
  std::optional<char32_t> codePoint;
};

}  // namespace tauravatd
