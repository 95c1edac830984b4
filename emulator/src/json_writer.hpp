#pragma once

// A minimal JSON writer for the state snapshot: objects, arrays, strings, numbers and
// booleans, with commas and escaping handled.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestra::emu {

class JsonWriter {
 public:
  JsonWriter& BeginObject(std::string_view key = {});
  JsonWriter& EndObject();
  JsonWriter& BeginArray(std::string_view key = {});
  JsonWriter& EndArray();
  JsonWriter& String(std::string_view key, std::string_view value);
  JsonWriter& Number(std::string_view key, int64_t value);
  JsonWriter& Bool(std::string_view key, bool value);
  // Array elements.
  JsonWriter& String(std::string_view value) { return String({}, value); }
  JsonWriter& Number(int64_t value) { return Number({}, value); }

  std::string Take() { return std::move(out_); }

 private:
  void Key(std::string_view key);
  void Quoted(std::string_view text);

  std::string out_;
  std::vector<bool> first_;  // per open container: no element written yet
};

}  // namespace kestra::emu
