#pragma once

// A small JSON reader for the control socket's commands: any JSON text is read, so a
// command with members it does not know is still understood.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestra::emu {

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;  // a string's value, UTF-8
  std::vector<JsonValue> items;
  // A vector of a type still incomplete here (std::pair of one is not allowed to be).
  std::vector<JsonMember> members;

  // The member `key` of an object, or nothing.
  const JsonValue* Find(std::string_view key) const;
};

struct JsonMember {
  std::string name;
  JsonValue value;
};

// Reads one JSON value filling all of `text` (blanks around it allowed); on a mistake
// returns nothing and says where in `error`.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

}  // namespace kestra::emu
