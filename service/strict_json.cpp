#include "strict_json.hpp"

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

namespace tauravatd {
namespace {

using nlohmann::json;

// The length of the well-formed UTF-8 sequence that `text` begins with, 0 when it begins
// with none (a stray, overlong or surrogate sequence, or one cut short).
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// The parser's message quotes the body as it read it: bytes that are not UTF-8 are shown
// as "<C3>", so the answer that carries the message is itself valid JSON.
std::string Readable(std::string_view text) {
  std::string readable;
  while (!text.empty()) {
    const size_t length = Utf8SequenceLength(text);
    if (length > 0) {
      readable.append(text.substr(0, length));
      text.remove_prefix(length);
      continue;
    }
    char shown[8];
    std::snprintf(shown, sizeof shown, "<%02X>", static_cast<unsigned char>(text[0]));
    readable += shown;
    text.remove_prefix(1);
  }
  return readable;
}

// Walks the document once before it is built, refusing repeated keys and deep nesting;
// keeps the place it is at, so the refusal names it.
class Checker : public nlohmann::json_sax<json> {
 public:
  std::optional<RequestError> error;

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }

  bool start_object(std::size_t) override { return Open(true); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_array() override { return Close(); }

  bool key(string_t& name) override {
    Frame& frame = frames_.back();
    if (!frame.keys.insert(name).second) {
      error = RequestError{0, Path() + (frames_.size() > 1 ? "." : "") + name,
                           "the key is given more than once"};
      return false;
    }
    frame.key = name;
    return true;
  }

  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& e) override {
    error = RequestError{
        0, "", "not valid JSON at byte " + std::to_string(position) + ": " + Readable(e.what())};
    return false;
  }

 private:
  struct Frame {
    bool object = false;
    std::set<std::string> keys;
    std::string key;
    size_t index = 0;
  };

  bool Open(bool object) {
    if (frames_.size() >= static_cast<size_t>(kMaxJsonDepth)) {
      error = RequestError{0, Path(),
                           "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels"};
      return false;
    }
    frames_.push_back({object, {}, {}, 0});
    return true;
  }

  bool Close() {
    frames_.pop_back();
    return Value();
  }

  // A value ended: the enclosing array moves to its next entry.
  bool Value() {
    if (!frames_.empty() && !frames_.back().object) ++frames_.back().index;
    return true;
  }

  std::string Path() const {
    std::string path;
    // The outermost frame is the body itself and has no name.
    for (size_t i = 0; i + 1 < frames_.size(); ++i) {
      const Frame& frame = frames_[i];
      if (frame.object) {
        path += (path.empty() ? "" : ".") + frame.key;
      } else {
        path += "[" + std::to_string(frame.index) + "]";
      }
    }
    return path;
  }

  std::vector<Frame> frames_;
};

std::string JoinPath(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
}

}  // namespace

std::variant<json, RequestError> ParseStrictJson(std::string_view body) {
  Checker checker;
  if (!json::sax_parse(body.begin(), body.end(), &checker)) {
    return checker.error.value_or(RequestError{0, "", "not valid JSON"});
  }
  json value = json::parse(body.begin(), body.end(), nullptr, false);
  if (value.is_discarded()) return RequestError{0, "", "not valid JSON"};
  return value;
}

void Refuse(std::string field, std::string detail, int32_t code) {
  throw FieldFault{RequestError{code, std::move(field), std::move(detail)}};
}

ObjectReader::ObjectReader(const json& value, std::string path,
                           std::initializer_list<std::string_view> allowed)
    : object_(value), path_(std::move(path)) {
  if (!object_.is_object()) Refuse(path_, "expected an object");
  for (const auto& [key, entry] : object_.items()) {
    if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
      Refuse(JoinPath(path_, key), "unknown field");
    }
  }
}

bool ObjectReader::Has(std::string_view key) const {
  return object_.contains(key);
}

std::string ObjectReader::PathOf(std::string_view key) const {
  return JoinPath(path_, key);
}

const json& ObjectReader::At(std::string_view key) const {
  const auto found = object_.find(key);
  if (found == object_.end()) Refuse(PathOf(key), "missing");
  return *found;
}

std::string ObjectReader::String(std::string_view key) const {
  const json& value = At(key);
  if (!value.is_string()) Refuse(PathOf(key), "expected a string");
  return value.get<std::string>();
}

std::optional<std::string> ObjectReader::OptionalString(std::string_view key) const {
  if (!Has(key)) return std::nullopt;
  return String(key);
}

int64_t ObjectReader::Integer(std::string_view key, int64_t min, int64_t max, int32_t code) const {
  const json& value = At(key);
  if (!value.is_number_integer()) Refuse(PathOf(key), "expected a whole number");
  // A value beyond int64 is beyond every bound here.
  const bool huge =
      value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX);
  const int64_t number = huge ? INT64_MAX : value.get<int64_t>();
  if (huge || number < min || number > max) {
    Refuse(PathOf(key), "must be " + std::to_string(min) + ".." + std::to_string(max), code);
  }
  return number;
}

std::optional<int64_t> ObjectReader::OptionalInteger(std::string_view key, int64_t min, int64_t max,
                                                     int32_t code) const {
  if (!Has(key)) return std::nullopt;
  return Integer(key, min, max, code);
}

bool ObjectReader::Boolean(std::string_view key, bool fallback) const {
  if (!Has(key)) return fallback;
  const json& value = At(key);
  if (!value.is_boolean()) Refuse(PathOf(key), "expected true or false");
  return value.get<bool>();
}

const json& ObjectReader::Array(std::string_view key, size_t maxEntries, bool required) const {
  static const json kEmpty = json::array();
  if (!Has(key)) {
    if (required) Refuse(PathOf(key), "missing");
    return kEmpty;
  }
  const json& value = At(key);
  if (!value.is_array()) Refuse(PathOf(key), "expected an array");
  if (required && value.empty()) Refuse(PathOf(key), "must not be empty");
  if (value.size() > maxEntries) {
    Refuse(PathOf(key), "at most " + std::to_string(maxEntries) + " entries");
  }
  return value;
}

}  // namespace tauravatd
