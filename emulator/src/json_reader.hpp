#pragma once

// A small JSON reader for the control socket's commands: any JSON text is read, so a
// command with members it does not know is still understood.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestra::emu {

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;  // a string's value, UTF-8
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  // The member `key` of an object, or nothing.
  const JsonValue* Find(std::string_view key) const;
};

// Reads one JSON value filling all of `text` (blanks around it allowed); on a mistake
// returns nothing and says where in `error`.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

}  // namespace kestra::emu
