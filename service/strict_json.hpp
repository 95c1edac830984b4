// Request bodies as JSON, stricter than a general parser: a key given twice (which of the
// two would count?) and deep nesting are refused, and reading a field names the field.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "request_error.hpp"

namespace tauravatd {

inline constexpr int kMaxJsonDepth = 8;

std::variant<nlohmann::json, RequestError> ParseStrictJson(std::string_view body);

// Thrown by the readers below; the request parsers turn it into their RequestError.
struct FieldFault {
  RequestError error;
};

[[noreturn]] void Refuse(std::string field, std::string detail, int32_t code = 0);

// Reads the fields of one JSON object, each with its path for the error ("items[2]").
class ObjectReader {
 public:
  // Refuses a value that is not an object, and any key outside `allowed`.
  ObjectReader(const nlohmann::json& value, std::string path,
               std::initializer_list<std::string_view> allowed);

  bool Has(std::string_view key) const;
  std::string PathOf(std::string_view key) const;
  const nlohmann::json& At(std::string_view key) const;

  std::string String(std::string_view key) const;
  std::optional<std::string> OptionalString(std::string_view key) const;
  int64_t Integer(std::string_view key, int64_t min, int64_t max, int32_t code = 0) const;
  std::optional<int64_t> OptionalInteger(std::string_view key, int64_t min, int64_t max,
                                         int32_t code = 0) const;
  bool Boolean(std::string_view key, bool fallback) const;
  const nlohmann::json& Array(std::string_view key, size_t maxEntries, bool required) const;

 private:
  const nlohmann::json& object_;
  std::string path_;
};

}  // namespace tauravatd
